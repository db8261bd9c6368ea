#include "platform/Profile.h"
#include "base/Settings.h"
#include "tests/support/PlainFileSystem.h"
#include "tests/support/TestSupport.h"

#include <QSettings>
#include <filesystem>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qp::settings;
using qp::test::ScopedEnv;
using qp::test::TempDir;

namespace {

class ProfileTest : public ::testing::Test {
protected:
    TempDir m_config;
    ScopedEnv m_xdg{"XDG_CONFIG_HOME", m_config.Path()};
    std::string ConfFile() const { return m_config.Path() + "/Tamarind Works/Quillpost.conf"; }
};

} // namespace

// Made private as soon as it is first read, and readable by any INI reader in the group
// [Quillpost].
TEST_F(ProfileTest, TheStoreIsAPrivateIniFile) {
    qp::Profile profile;
    EXPECT_EQ(profile.GetString(kSection, kLogin.key, "none"), "none");
    struct stat st {};
    ASSERT_EQ(::stat(ConfFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ASSERT_TRUE(profile.WriteString(kSection, kLogin.key, std::string("5551234")));
    ASSERT_TRUE(profile.WriteString(kSection, kHost.key, std::string("fax.example.com")));
    ASSERT_TRUE(profile.WriteInt(kSection, kPortWritten.key, 7541));
    const std::string text = qp::test::ReadFile(ConfFile());
    EXPECT_NE(text.find("[Quillpost]"), std::string::npos);
    EXPECT_NE(text.find("ln=5551234"), std::string::npos);
    EXPECT_NE(text.find("host=fax.example.com"), std::string::npos);
    EXPECT_NE(text.find("p=7541"), std::string::npos);
    ASSERT_EQ(::stat(ConfFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ProfileTest, AWrittenValueLastsWithTheFolderThatNamesTheFile) {
    qp::Profile profile;
    qp::test::ForgetSyncs();
    ASSERT_TRUE(profile.WriteString(kSection, kHost.key, std::string("fax.example.com")));
    EXPECT_TRUE(qp::test::WasSynced(ConfFile()));
    EXPECT_TRUE(qp::test::WasSynced(m_config.Path() + "/Tamarind Works"));
}

TEST_F(ProfileTest, NullStringRemovesTheValueButEmptyStringIsKept) {
    qp::Profile profile;
    profile.WriteString(kSection, kCoverTo.key, std::string("Jane"));
    profile.WriteString(kSection, kCoverRe.key, std::string(""));
    EXPECT_EQ(profile.GetString(kSection, kCoverTo.key, "?"), "Jane");

    profile.WriteString(kSection, kCoverTo.key, std::nullopt);
    EXPECT_EQ(profile.GetString(kSection, kCoverTo.key, "?"), "?");
    EXPECT_EQ(profile.GetString(kSection, kCoverRe.key, "?"), "");
}

TEST_F(ProfileTest, IntegersRoundTripAndUnreadableValuesFallBackToTheDefault) {
    qp::Profile profile;
    profile.WriteInt(kSection, kPort.key, 9100);
    EXPECT_EQ(profile.GetInt(kSection, kPort.key, 7541), 9100);
    profile.WriteString(kSection, kPort.key, std::string("not a number"));
    EXPECT_EQ(profile.GetInt(kSection, kPort.key, 7541), 7541);
}

TEST_F(ProfileTest, StringsThatLookLikeOtherTypesStayStrings) {
    qp::Profile profile;
    for (const std::string value : {"true", "0042", "a=b;c", " padded ", "x\\y,z"}) {
        profile.WriteString(kSection, kCoverNote.key, value);
        EXPECT_EQ(profile.GetString(kSection, kCoverNote.key, ""), value);
    }
}

TEST_F(ProfileTest, HandEditedValuesReadBackExactlyAsWritten) {
    const struct {
        const char* line;
        const char* value;
    } cases[] = {
        {"tiffviewerparams=--title Fax,Preview", "--title Fax,Preview"},
        {"tiffviewerparams=a, b ,c", "a, b ,c"},
        {"tiffviewerparams=\"--title Fax,Preview\"", "--title Fax,Preview"},
    };
    std::filesystem::create_directories(m_config.Path() + "/Tamarind Works");
    for (const auto& c : cases) {
        qp::test::WriteFile(ConfFile(),
                            std::string("[Other]\ntiffviewerparams=x,y\n[Quillpost]\n") + c.line +
                                "\n");
        EXPECT_EQ(qp::Profile().GetString(kSection, kTiffViewerParams.key, "?"), c.value) << c.line;
    }
}

TEST_F(ProfileTest, ASettingsFileThatIsNotARegularFileIsNeitherReadNorWritten) {
    std::filesystem::create_directories(m_config.Path() + "/Tamarind Works");
    // A FIFO with no writer: opening it to read or write the usual way waits for ever.
    ASSERT_EQ(::mkfifo(ConfFile().c_str(), 0600), 0);
    qp::Profile profile;
    EXPECT_EQ(profile.GetString(kSection, kHost.key, "default"), "default");
    EXPECT_FALSE(profile.WriteString(kSection, kHost.key, std::string("fax.example.com")));
}

// The account and the cover sheet are read in one read of the file; every setting must read the
// same there as on its own, stored or not.
TEST_F(ProfileTest, OneReadOfTheFileGivesWhatSingleReadsGive) {
    using namespace qp::settings;
    qp::Profile profile;
    const auto expectSame = [&](const char* when) {
        const Snapshot whole = ReadAll(profile);
        for (const Setting& setting : kAll) {
            if (setting.kind == Kind::Number)
                EXPECT_EQ(whole.Number(setting), ReadNumber(profile, setting))
                    << when << setting.key;
            else
                EXPECT_EQ(whole.Text(setting), ReadText(profile, setting)) << when << setting.key;
        }
    };
    expectSame("empty file: ");
    EXPECT_EQ(ReadAll(profile).Text(kHost), kDefaultFaxHost);
    EXPECT_EQ(ReadAll(profile).Number(kPort), kDefaultFaxPort);

    profile.WriteString(kSection, kCoverNote.key, std::string("a, b, and c"));
    profile.WriteString(kSection, kLogin.key, std::string(""));
    profile.WriteString(kSection, kPort.key, std::string("not a number"));
    profile.WriteInt(kSection, kPortWritten.key, 9100);
    profile.WriteString(kSection, kHost.key, std::string("fax.example.com"));
    expectSame("stored: ");
    EXPECT_EQ(ReadAll(profile).Text(kCoverNote), "a, b, and c");
    EXPECT_EQ(ReadAll(profile).Number(kPort), kDefaultFaxPort);
    EXPECT_EQ(ReadAll(profile).Number(kPortWritten), 9100);

    // Typed into the file by hand, a comma without quotes is still one value.
    qp::test::WriteFile(ConfFile(), "[Quillpost]\ncvrnote=one, two\n");
    expectSame("hand-written: ");
    EXPECT_EQ(ReadAll(profile).Text(kCoverNote), "one, two");
}

TEST(ProfileLocation, WithoutHomeTheAccountsHomeFolderIsUsedNeverASharedOne) {
    ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv noHome("HOME", std::nullopt);
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(qp::DefaultProfilePath(),
              std::string(account->pw_dir) + "/.config/Tamarind Works/Quillpost.conf");
}
