#pragma once

#include "platform/FileOps.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/TestSupport.h"
#include "update/InstallFolder.h"
#include "update/UpdateRun.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace qp::test {

// Changes the process's current folder for the scope.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& path);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::string m_old;
};

// The Python standard library's web server over a release folder, on a free loopback port.
class ReleaseServer {
public:
    // `options`: "--once NAME" (404 after the first request), "--slow NAME" (about 3 s).
    explicit ReleaseServer(const std::string& root, const std::vector<std::string>& options = {});
    const std::string& Host() const { return m_host; }
    // "GET <path> <status>", one per answered request, in order.
    std::vector<std::string> Requests() const;

private:
    std::unique_ptr<LoggedProcess> m_process;
    std::string m_host;
};

// The progress window as the run leaves it, and what it was told on the way.
class RecordingView final : public UpdateProgressView {
public:
    std::vector<std::string> states;
    std::vector<std::string> files;
    std::vector<int> ranges;
    std::vector<int> filesDone; // the files-done count each time it changed
    int partial = 0;            // progress reports from inside a download
    int shown = 0;
    int hidden = 0;

    void SetStateText(const std::string& text) override { states.push_back(text); }
    std::function<void()> onFile; // called as each download starts
    void SetFileText(const std::string& text) override {
        files.push_back(text);
        if (onFile && !text.empty())
            onFile();
    }
    void SetRange(int count) override { ranges.push_back(count); }
    void SetProgress(int done, double fraction) override {
        if (filesDone.empty() || filesDone.back() != done)
            filesDone.push_back(done);
        if (fraction > 0.0)
            ++partial;
    }
    void Show() override { ++shown; }
    void Hide() override { ++hidden; }
    void PumpPendingMessages() override {}
};

// A client's install folder, a release folder and the server that publishes it. The tests run in
// another, empty folder, which the update must leave alone: it finds its files by the install
// folder it is given.
class UpdateTest : public ::testing::Test {
protected:
    TempUserEnvironment m_user;
    TempDir m_install;
    TempDir m_release;
    TempDir m_elsewhere;
    ScopedCwd m_cwd{m_elsewhere.Path()};
    std::unique_ptr<ReleaseServer> m_server;
    FakeRunner m_runner;
    FakeClock m_clock;

    void TearDown() override;
    void Serve(const std::vector<std::string>& options = {});
    InstallFolder Folder() const { return {m_install.Path()}; }
    std::string Host() const { return m_server->Host(); }
    void Publish(const std::string& name, const std::string& contents) {
        WriteFile(m_release.File(name), contents);
    }
    void Install(const std::string& name, const std::string& contents) {
        WriteFile(m_install.File(name), contents);
    }
    std::string Installed(const std::string& name) const { return ReadFile(m_install.File(name)); }
    unsigned ModeOf(const std::string& name) const;
    // Every name in the install folder, sorted: shows leftovers of an update.
    std::vector<std::string> InstalledNames() const;
};

} // namespace qp::test
