#pragma once

#include "platform/Clock.h"
#include "platform/MessageBox.h"

#include <cctype>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace qp::test {

// A clock whose sleeps return at once and only move its own time forward.
class FakeClock final : public Clock {
public:
    TimePoint Now() const override;
    void SleepMs(int milliseconds) override;
    std::vector<int> Sleeps() const;
    // Time passing while the code under test waits otherwise than by a sleep.
    void Advance(std::chrono::milliseconds by);

private:
    mutable std::mutex m_mutex;
    TimePoint m_now{};
    std::vector<int> m_sleeps;
};

// Records every message box and answers from a queue (first button when the queue is empty).
class RecordingMessageSink final : public MessageSink {
public:
    MessageAnswer Show(const MessageRequest& request) override;
    void SetNextAnswer(MessageAnswer answer);
    std::vector<MessageRequest> Messages() const;
    std::vector<std::string> Texts() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<MessageRequest> m_messages;
    std::deque<MessageAnswer> m_answers;
};

// A fresh temporary folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Sets (or with nullopt unsets) an environment variable for the scope, then restores it.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// A user of the program inside a temporary folder: the home, the settings store, the data folder
// and the common folder lie there, and message boxes are recorded instead of shown.
struct TempUserEnvironment {
    TempDir home;
    ScopedEnv homeEnv{"HOME", home.Path()};
    ScopedEnv xdg{"XDG_CONFIG_HOME", home.Path() + "/config"};
    ScopedEnv data{"XDG_DATA_HOME", home.Path() + "/data"};
    ScopedEnv common{"QUILLPOST_COMMON_DIR", home.Path()};
    RecordingMessageSink messages;
    ScopedMessageSink sink{messages};
};

// Names a table-driven test's instances after their cases' `what` texts (letters and digits).
struct CaseName {
    template <typename Info> std::string operator()(const Info& info) const {
        std::string name;
        for (const char* p = info.param.what; *p != '\0'; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    }
};

// Polls, for at most `limit`, for what another thread or process brings about; false when it
// never came.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// Blocks until `stop` is requested: work that would go on for ever unless called off.
void WaitUntilStopped(std::stop_token stop);

void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);

} // namespace qp::test
