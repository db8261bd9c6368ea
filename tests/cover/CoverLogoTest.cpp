#include "cover/CoverLogo.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// What the user picks in "Browse...", made in the folder that holds the logo; an empty reason
// means the pick becomes the logo.
struct LogoCase {
    const char* what;
    std::function<std::string(const qp::test::TempDir& dir, const std::string& logo)> pick;
    std::string reason;
    bool needsPermissions = false;
};
void PrintTo(const LogoCase& c, std::ostream* out) {
    *out << c.what;
}

std::string NewFile(const qp::test::TempDir& dir, const std::string&) {
    qp::test::WriteFile(dir.File("new.bmp"), "new logo");
    return dir.File("new.bmp");
}

std::string LinkTo(const qp::test::TempDir& dir, const std::string& target) {
    fs::create_symlink(target, dir.File("link.bmp"));
    return dir.File("link.bmp");
}

class LogoCopy : public ::testing::TestWithParam<LogoCase> {
protected:
    qp::test::TempUserEnvironment m_user;
    qp::test::TempDir& m_dir = m_user.home;
    const std::string m_logo = m_dir.File(".fx.cover.hdr");
};

TEST_P(LogoCopy, TakesOnlyAPlainFileOtherThanTheLogoAndNeverLeavesAPartOne) {
    const LogoCase& c = GetParam();
    if (c.needsPermissions && ::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    qp::test::WriteFile(m_logo, "old logo");
    const std::string chosen = c.pick(m_dir, m_logo);

    qp::CopyLogoFile(chosen, m_logo);

    if (c.reason.empty()) {
        EXPECT_TRUE(m_user.messages.Texts().empty());
        EXPECT_EQ(qp::test::ReadFile(m_logo), "new logo");
        EXPECT_EQ(fs::status(m_logo).permissions(), fs::perms(0644));
    } else {
        EXPECT_EQ(m_user.messages.Texts(),
                  std::vector<std::string>{"Error copying cover header logo: " + c.reason});
        EXPECT_EQ(qp::test::ReadFile(m_logo), "old logo");
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(m_dir.Path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".fx.cover.hdr."))
            << entry.path();
}

INSTANTIATE_TEST_SUITE_P(
    CoverLogoTest, LogoCopy,
    ::testing::Values(
        LogoCase{"a plain file", NewFile, ""},
        LogoCase{"a link to a plain file",
                 [](const qp::test::TempDir& dir, const std::string& logo) {
                     return LinkTo(dir, NewFile(dir, logo));
                 },
                 ""},
        LogoCase{"a pipe",
                 [](const qp::test::TempDir& dir, const std::string&) {
                     ::mkfifo(dir.File("pipe").c_str(), 0600);
                     return dir.File("pipe");
                 },
                 "Not a regular file"},
        LogoCase{
            "a device",
            [](const qp::test::TempDir&, const std::string&) -> std::string { return "/dev/zero"; },
            "Not a regular file"},
        LogoCase{"a folder",
                 [](const qp::test::TempDir& dir, const std::string&) { return dir.Path(); },
                 "Is a directory"},
        LogoCase{"the logo itself",
                 [](const qp::test::TempDir&, const std::string& logo) { return logo; },
                 "The file is the current logo"},
        LogoCase{"the logo through a link", LinkTo, "The file is the current logo"},
        LogoCase{"a missing file",
                 [](const qp::test::TempDir& dir, const std::string&) {
                     return dir.File("missing.bmp");
                 },
                 "No such file or directory"},
        LogoCase{"an unreadable file",
                 [](const qp::test::TempDir& dir, const std::string& logo) {
                     const std::string path = NewFile(dir, logo);
                     ::chmod(path.c_str(), 0);
                     return path;
                 },
                 "Permission denied", true}),
    qp::test::CaseName());

} // namespace
