// The account's entries in the settings file watched while other writers replace the file.
#include "platform/SettingsWatch.h"
#include "platform/Profile.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/TestSupport.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using qp::test::PumpUntil;

const std::vector<std::string> kAccount{"ln", "ps", "host", "port", "p", "notifyemail"};

class SettingsWatchTest : public ::testing::Test {
protected:
    // Another process's write: the whole file anew, renamed over the old one.
    void Replace(const std::string& contents, const std::string& aside = ".new") {
        qp::test::WriteFile(m_path + aside, contents);
        std::filesystem::rename(m_path + aside, m_path);
    }
    std::unique_ptr<qp::SettingsWatch> Watch() {
        return std::make_unique<qp::SettingsWatch>(m_path, "Quillpost", kAccount,
                                                   [this] { ++m_changes; });
    }
    // Waits until the watcher has read the file after the writes so far.
    bool Read(const qp::SettingsWatch& watch, std::size_t before) {
        return PumpUntil([&] { return watch.Reads() > before; });
    }

    qp::test::TempUserEnvironment m_env;
    std::string m_path = qp::Profile().FilePath();
    int m_changes = 0;
};

TEST_F(SettingsWatchTest, AReplacedFileIsToldOnceAndOnlyWhenTheAccountChanged) {
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path());
    Replace("[Quillpost]\nhost=fax.example\nln=5550100\nres=fine\n");
    auto watch = Watch();

    Replace("[Quillpost]\nhost=fax.example\nln=5550100\nres=standard\n");
    ASSERT_TRUE(Read(*watch, 0));
    EXPECT_EQ(m_changes, 0) << "another entry";

    // Written several times in a row, as a dialog saving its fields does.
    std::size_t before = watch->Reads();
    Replace("[Quillpost]\nhost=fax2.example\nln=5550100\nres=standard\n", ".a");
    Replace("[Quillpost]\nhost=fax2.example\nln=5550199\nres=standard\n", ".b");
    Replace("[Quillpost]\nhost=fax2.example\nln=5550199\nres=standard\np=4560\n", ".c");
    ASSERT_TRUE(Read(*watch, before));
    EXPECT_EQ(m_changes, 1);

    // An entry emptied is a change; the watch survived the renames.
    before = watch->Reads();
    Replace("[Quillpost]\nhost=fax2.example\nln=5550199\nres=standard\np=4560\nps=\n");
    ASSERT_TRUE(Read(*watch, before));
    EXPECT_EQ(m_changes, 2);
}

TEST_F(SettingsWatchTest, TheProgramsOwnFirstWriteIsSeen) {
    auto watch = Watch();
    qp::Profile().WriteString("Quillpost", "ln", std::string("5550100"));
    EXPECT_TRUE(PumpUntil([&] { return m_changes == 1; }));
}

} // namespace
