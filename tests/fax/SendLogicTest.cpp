#include "base/Settings.h"
#include "fax/ProgressThrottle.h"
#include "fax/RecipientHistory.h"
#include "fax/SendSettings.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <numeric>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using qp::test::ReadFile;
using qp::test::ScopedEnv;
using qp::test::TempDir;
using qp::test::WriteFile;
using namespace qp::settings;

namespace {

std::vector<std::string> Numbered(int first, int last) {
    std::vector<std::string> entries;
    for (int i = first; i <= last; ++i)
        entries.push_back("555000" + std::to_string(1000 + i));
    return entries;
}

} // namespace

TEST(RecipientHistoryFile, LinesEndAtLfOrCrAndTheByteAfterIt) {
    EXPECT_EQ(qp::ParseHistory("(555) 123-4567\r\n15551234567\r\n"),
              (std::vector<std::string>{"(555) 123-4567", "15551234567"}));
    EXPECT_EQ(qp::ParseHistory("a\nb"), (std::vector<std::string>{"a", "b"}));
    // A CR swallows the character after it, whatever it is.
    EXPECT_EQ(qp::ParseHistory("a\rXb\r\n"), (std::vector<std::string>{"a", "b"}));
    // Lines are trimmed; empty lines and duplicates are kept as they are.
    EXPECT_EQ(qp::ParseHistory("  a \r\n\r\na\r\n"), (std::vector<std::string>{"a", "", "a"}));
    EXPECT_TRUE(qp::ParseHistory("").empty());
    EXPECT_EQ(qp::FormatHistory({"(555) 123-4567", "1"}), "(555) 123-4567\r\n1\r\n");
}

TEST(RecipientHistoryRules, MoveToTopRemovesCopiesAndDropsOnlyThe21st) {
    std::vector<std::string> entries{"a", "b", "c", "b"};
    EXPECT_FALSE(qp::AddToHistory(entries, "a"));
    EXPECT_EQ(entries, (std::vector<std::string>{"a", "b", "c", "b"}));

    EXPECT_TRUE(qp::AddToHistory(entries, "b"));
    EXPECT_EQ(entries, (std::vector<std::string>{"b", "a", "c"}));
    // Exact comparison: another spelling of the same number is another entry.
    EXPECT_TRUE(qp::AddToHistory(entries, "B"));
    EXPECT_EQ(entries, (std::vector<std::string>{"B", "b", "a", "c"}));

    std::vector<std::string> full = Numbered(1, 20);
    EXPECT_TRUE(qp::AddToHistory(full, "new"));
    ASSERT_EQ(full.size(), 20u);
    EXPECT_EQ(full.front(), "new");
    EXPECT_EQ(full.back(), Numbered(19, 19)[0]);

    // A longer list written by hand loses only its 21st entry per save.
    std::vector<std::string> longer = Numbered(1, 25);
    EXPECT_TRUE(qp::AddToHistory(longer, "new"));
    EXPECT_EQ(longer.size(), 25u);
    EXPECT_EQ(longer[20], Numbered(21, 21)[0]);
}

TEST(RecipientHistoryStore, RoundTripsThroughTheFileInTheProfileFolder) {
    TempDir home;
    ScopedEnv homeEnv("HOME", home.Path());
    EXPECT_EQ(qp::UserProfileFolder(), home.Path());

    qp::RecipientHistory history;
    history.LoadHistory();
    EXPECT_TRUE(history.Entries().empty());
    EXPECT_EQ(history.SaveHistory("(555) 123-4567"), qp::RecipientHistory::SaveResult::Saved);
    EXPECT_EQ(history.SaveHistory("15551234567"), qp::RecipientHistory::SaveResult::Saved);
    EXPECT_EQ(ReadFile(home.File(".fx.hs")), "15551234567\r\n(555) 123-4567\r\n");

    qp::RecipientHistory reloaded;
    reloaded.LoadHistory();
    EXPECT_EQ(reloaded.Entries(), (std::vector<std::string>{"15551234567", "(555) 123-4567"}));
}

TEST(RecipientHistoryStore, TopEntryLeavesTheFileUntouched) {
    TempDir home;
    // Written by hand with bare LFs: any rewrite would show as CR LF.
    WriteFile(home.File(".fx.hs"), "5551234567\nother\n");
    qp::RecipientHistory history([&] { return std::optional<std::string>(home.Path()); });
    history.LoadHistory();
    EXPECT_EQ(history.SaveHistory("5551234567"), qp::RecipientHistory::SaveResult::Unchanged);
    EXPECT_EQ(ReadFile(home.File(".fx.hs")), "5551234567\nother\n");

    EXPECT_EQ(history.SaveHistory("other"), qp::RecipientHistory::SaveResult::Saved);
    EXPECT_EQ(ReadFile(home.File(".fx.hs")), "other\r\n5551234567\r\n");
}

TEST(RecipientHistoryStore, FailuresNeitherLoseTheOldFileNorLeaveLitter) {
    qp::RecipientHistory noFolder([] { return std::optional<std::string>(); });
    noFolder.LoadHistory();
    EXPECT_TRUE(noFolder.Entries().empty());
    EXPECT_EQ(noFolder.SaveHistory("5551234567"), qp::RecipientHistory::SaveResult::NoFolder);

    TempDir home;
    // A name that can't be replaced by a file makes the write fail after the temporary is made.
    std::filesystem::create_directories(home.File(".fx.hs") + "/keep");
    qp::RecipientHistory blocked([&] { return std::optional<std::string>(home.Path()); });
    blocked.LoadHistory();
    EXPECT_TRUE(blocked.Entries().empty());
    EXPECT_EQ(blocked.SaveHistory("5551234567"), qp::RecipientHistory::SaveResult::WriteFailed);
    EXPECT_TRUE(std::filesystem::exists(home.File(".fx.hs") + "/keep"));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".fx.hs", ".fx.hs.lock"}));
}

// Dialogs whose lives overlap each load the history when they open and save when they send.
TEST(RecipientHistoryStore, OverlappingSavesKeepEveryEntry) {
    TempDir home;
    WriteFile(home.File(".fx.hs"), "5550001111\r\n");
    auto folder = [&] { return std::optional<std::string>(home.Path()); };
    qp::RecipientHistory first(folder);
    qp::RecipientHistory second(folder);
    first.LoadHistory();
    second.LoadHistory();
    EXPECT_EQ(first.SaveHistory("(555) 123-4567"), qp::RecipientHistory::SaveResult::Saved);
    EXPECT_EQ(second.SaveHistory("15557654321"), qp::RecipientHistory::SaveResult::Saved);
    EXPECT_EQ(ReadFile(home.File(".fx.hs")), "15557654321\r\n(555) 123-4567\r\n5550001111\r\n");
}

// Another process holding the history's lock (a stuck dialog, quillpost-send) holds up a save only
// briefly: the save gives up and leaves the file as it was, without waiting for real here.
TEST(RecipientHistoryStore, ALockHeldElsewhereLeavesTheFileAsItWas) {
    TempDir home;
    WriteFile(home.File(".fx.hs"), "5550001111\r\n");
    int held[2];
    int release[2];
    ASSERT_EQ(::pipe(held), 0);
    ASSERT_EQ(::pipe(release), 0);
    const std::string lockFile = home.File(".fx.hs.lock");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Holds the lock until the test closes its end of `release`.
        ::close(release[1]);
        ::close(held[0]);
        const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT, 0600);
        char byte = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        (void)!::write(held[1], &byte, 1);
        (void)!::read(release[0], &byte, 1);
        ::_exit(0);
    }
    ::close(held[1]);
    ::close(release[0]);
    char byte = 0;
    ASSERT_EQ(::read(held[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');

    qp::test::FakeClock clock;
    qp::RecipientHistory history([&] { return std::optional<std::string>(home.Path()); }, clock);
    EXPECT_EQ(history.SaveHistory("(555) 123-4567"), qp::RecipientHistory::SaveResult::Busy);
    EXPECT_EQ(ReadFile(home.File(".fx.hs")), "5550001111\r\n");
    const std::vector<int> sleeps = clock.Sleeps();
    EXPECT_GE(std::accumulate(sleeps.begin(), sleeps.end(), 0),
              qp::RecipientHistory::kLockWait.count());

    ::close(release[1]);
    ASSERT_EQ(qp::test::WaitForChild(child), 0);
    ::close(held[0]);
    EXPECT_EQ(history.SaveHistory("(555) 123-4567"), qp::RecipientHistory::SaveResult::Saved);
    EXPECT_EQ(ReadFile(home.File(".fx.hs")), "(555) 123-4567\r\n5550001111\r\n");
}

class SendChoicesTest : public ::testing::Test {
protected:
    TempDir m_dir;
    qp::Profile m_profile{m_dir.File("Quillpost.conf")};
};

TEST_F(SendChoicesTest, DefaultsAreFineAndLetterAndStoredValuesCompareExactly) {
    EXPECT_EQ(qp::LoadSendChoices(m_profile).resolution, qp::Resolution::Fine);
    EXPECT_FALSE(qp::LoadSendChoices(m_profile).legal);
    const std::vector<std::pair<std::string, qp::Resolution>> cases{
        {"normal", qp::Resolution::Normal}, {"high", qp::Resolution::High},
        {"fine", qp::Resolution::Fine},     {"High", qp::Resolution::Fine},
        {"Normal", qp::Resolution::Fine},   {"", qp::Resolution::Fine}};
    for (const auto& [stored, expected] : cases) {
        m_profile.WriteString(kSection, kResolution.key, stored);
        EXPECT_EQ(qp::LoadSendChoices(m_profile).resolution, expected) << stored;
    }
    for (const char* stored : {"True", "1", "yes", ""}) {
        m_profile.WriteString(kSection, kLegal.key, std::string(stored));
        EXPECT_FALSE(qp::LoadSendChoices(m_profile).legal) << stored;
    }
    m_profile.WriteString(kSection, kLegal.key, std::string("true"));
    EXPECT_TRUE(qp::LoadSendChoices(m_profile).legal);
}

TEST_F(SendChoicesTest, SavedChoicesAreReadBack) {
    for (qp::Resolution resolution :
         {qp::Resolution::Normal, qp::Resolution::Fine, qp::Resolution::High}) {
        for (bool legal : {false, true}) {
            qp::SaveSendChoices(m_profile, {resolution, legal});
            const qp::SendChoices loaded = qp::LoadSendChoices(m_profile);
            EXPECT_EQ(loaded.resolution, resolution);
            EXPECT_EQ(loaded.legal, legal);
        }
    }
    qp::SaveSendChoices(m_profile, {qp::Resolution::High, true});
    EXPECT_EQ(m_profile.GetString(kSection, kResolution.key, ""), "high");
    EXPECT_EQ(m_profile.GetString(kSection, kLegal.key, ""), "true");
    qp::SaveSendChoices(m_profile, {qp::Resolution::Normal, false});
    EXPECT_EQ(m_profile.GetString(kSection, kResolution.key, ""), "normal");
    EXPECT_EQ(m_profile.GetString(kSection, kLegal.key, ""), "false");
}

TEST_F(SendChoicesTest, PerFaxCoverFieldsAreForgottenTheOthersKept) {
    for (const Setting& entry : {kCoverTo, kCoverRe, kCoverNote, kCoverFrom, kCoverDisclosure})
        Write(m_profile, entry, std::string("x"));
    qp::ForgetPerFaxCoverFields(m_profile);
    for (const Setting& entry : {kCoverTo, kCoverRe, kCoverNote})
        EXPECT_EQ(ReadText(m_profile, entry), "") << entry.key;
    for (const Setting& entry : {kCoverFrom, kCoverDisclosure})
        EXPECT_EQ(ReadText(m_profile, entry), "x") << entry.key;
}

TEST(ConversionParamsChoice, AllSixCombinations) {
    using qp::ConversionParams;
    EXPECT_EQ(qp::ChooseConversionParams(qp::Resolution::Normal, false),
              (ConversionParams{204, 98, 1728, 1078}));
    EXPECT_EQ(qp::ChooseConversionParams(qp::Resolution::Normal, true),
              (ConversionParams{204, 98, 1728, 1372}));
    EXPECT_EQ(qp::ChooseConversionParams(qp::Resolution::Fine, false),
              (ConversionParams{204, 196, 1728, 2172}));
    EXPECT_EQ(qp::ChooseConversionParams(qp::Resolution::Fine, true),
              (ConversionParams{204, 196, 1728, 2760}));
    EXPECT_EQ(qp::ChooseConversionParams(qp::Resolution::High, false),
              (ConversionParams{300, 300, 2592, 3300}));
    EXPECT_EQ(qp::ChooseConversionParams(qp::Resolution::High, true),
              (ConversionParams{300, 300, 2592, 4200}));
}

TEST(ProgressThrottle, ShowsTheFirstAndLastReportAndBetweenAtMostOnePerPercentAndInterval) {
    const struct {
        std::uint64_t size;
        int msPerKilobyte; // time the upload takes for each report
        std::vector<std::uint64_t> shown;
    } cases[] = {
        // The interval limits: one report every 50 ms of a 100 ms upload.
        {100 << 10, 1, {0, 50 << 10, 100 << 10}},
        // The percent limits: a slow upload of 4 KiB is shown in its four kilobytes only.
        {4 << 10, 100, {0, 1 << 10, 2 << 10, 3 << 10, 4 << 10}},
        // No time passes: the size and the end.
        {8 << 10, 0, {0, 8 << 10}},
        {0, 1, {0}},
    };
    for (const auto& c : cases) {
        qp::test::FakeClock clock;
        qp::ProgressThrottle throttle(clock);
        std::vector<std::uint64_t> shown;
        for (std::uint64_t position = 0;; position = std::min(c.size, position + 1024)) {
            if (throttle.Pass(position, c.size))
                shown.push_back(position);
            if (position == c.size)
                break;
            clock.SleepMs(c.msPerKilobyte);
        }
        EXPECT_EQ(shown, c.shown) << c.size << " bytes, " << c.msPerKilobyte << " ms per KiB";
    }
}
