#include "app/QuillpostApp.h"
#include "app/Settings.h"
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

TEST_F(ProfileTest, FreshStoreYieldsEveryDefaultAndCreatesAPrivateFile) {
    qp::Profile profile;
    EXPECT_EQ(profile.GetString(kSection, kHost, kDefaultFaxHost), kDefaultFaxHost);
    EXPECT_EQ(profile.GetInt(kSection, kPort, kDefaultFaxPort), 7541);
    EXPECT_EQ(profile.GetString(kSection, kResolution, kDefaultResolution), "fine");
    EXPECT_EQ(profile.GetString(kSection, kLegal, kDefaultLegal), "false");
    EXPECT_EQ(profile.GetString(kSection, kLogin, ""), "");

    struct stat st {};
    ASSERT_EQ(::stat(ConfFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ProfileTest, WritesAreReadableByAnIniReaderInTheQuillpostGroup) {
    qp::Profile profile;
    ASSERT_TRUE(profile.WriteString(kSection, kLogin, std::string("5551234")));
    ASSERT_TRUE(profile.WriteString(kSection, kHost, std::string("fax.example.com")));
    ASSERT_TRUE(profile.WriteInt(kSection, kPortWritten, 7541));

    const std::string text = qp::test::ReadFile(ConfFile());
    EXPECT_NE(text.find("[Quillpost]"), std::string::npos);
    EXPECT_NE(text.find("ln=5551234"), std::string::npos);
    EXPECT_NE(text.find("host=fax.example.com"), std::string::npos);
    EXPECT_NE(text.find("p=7541"), std::string::npos);

    struct stat st {};
    ASSERT_EQ(::stat(ConfFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ProfileTest, NullStringRemovesTheValueButEmptyStringIsKept) {
    qp::Profile profile;
    profile.WriteString(kSection, kCoverTo, std::string("Jane"));
    profile.WriteString(kSection, kCoverRe, std::string(""));
    EXPECT_EQ(profile.GetString(kSection, kCoverTo, "?"), "Jane");

    profile.WriteString(kSection, kCoverTo, std::nullopt);
    EXPECT_EQ(profile.GetString(kSection, kCoverTo, "?"), "?");
    EXPECT_EQ(profile.GetString(kSection, kCoverRe, "?"), "");
}

TEST_F(ProfileTest, IntegersRoundTripAndUnreadableValuesFallBackToTheDefault) {
    qp::Profile profile;
    profile.WriteInt(kSection, kPort, 9100);
    EXPECT_EQ(profile.GetInt(kSection, kPort, 7541), 9100);
    profile.WriteString(kSection, kPort, std::string("not a number"));
    EXPECT_EQ(profile.GetInt(kSection, kPort, 7541), 7541);
}

TEST_F(ProfileTest, StringsThatLookLikeOtherTypesStayStrings) {
    qp::Profile profile;
    for (const std::string value : {"true", "0042", "a=b;c", " padded ", "x\\y,z"}) {
        profile.WriteString(kSection, kCoverNote, value);
        EXPECT_EQ(profile.GetString(kSection, kCoverNote, ""), value);
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
        EXPECT_EQ(qp::Profile().GetString(kSection, kTiffViewerParams, "?"), c.value) << c.line;
    }
}

TEST_F(ProfileTest, ASettingsFileThatIsNotARegularFileIsNeitherReadNorWritten) {
    std::filesystem::create_directories(m_config.Path() + "/Tamarind Works");
    // A FIFO with no writer: opening it to read or write the usual way waits for ever.
    ASSERT_EQ(::mkfifo(ConfFile().c_str(), 0600), 0);
    qp::Profile profile;
    EXPECT_EQ(profile.GetString(kSection, kHost, "default"), "default");
    EXPECT_FALSE(profile.WriteString(kSection, kHost, std::string("fax.example.com")));
}

TEST_F(ProfileTest, ApplicationProfileOperationsUseTheSameStore) {
    ScopedEnv common("QUILLPOST_COMMON_DIR", m_config.Path());
    CQuillpostApp app("");
    app.WriteProfileString(kSection, kNotifyEmail, "me@example.com");
    EXPECT_EQ(qp::Profile().GetString(kSection, kNotifyEmail, ""), "me@example.com");
    app.WriteProfileString(kSection, kNotifyEmail, nullptr);
    EXPECT_EQ(app.GetProfileString(kSection, kNotifyEmail, "none"), "none");
    app.WriteProfileInt(kSection, kPort, 1234);
    EXPECT_EQ(app.GetProfileInt(kSection, kPort, 0), 1234);
}

TEST(ProfileLocation, WithoutHomeTheAccountsHomeFolderIsUsedNeverASharedOne) {
    ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv noHome("HOME", std::nullopt);
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(qp::DefaultProfilePath(),
              std::string(account->pw_dir) + "/.config/Tamarind Works/Quillpost.conf");
}
