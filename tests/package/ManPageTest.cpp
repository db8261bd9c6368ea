#include "base/DialRules.h"
#include "base/Settings.h"
#include "contacts/ContactBook.h"
#include "cover/CoverLogo.h"
#include "fax/outbox/RetrySchedule.h"
#include "platform/Version.h"
#include "tests/package/Commands.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <regex>
#include <vector>

namespace {

// Each page renders without a complaint from man or groff, with the sections readers look for and
// the release's version.
TEST(ManPageTest, EveryPageRendersWithoutWarnings) {
    if (!qp::test::HaveCommand("man"))
        GTEST_SKIP() << "man is not installed";
    for (const auto& page : std::filesystem::directory_iterator(QP_MAN_DIR)) {
        SCOPED_TRACE(page.path().string());
        const qp::test::ProgramRun run = qp::test::RunProgram(
            {"man", "--warnings", "-l", page.path().string()}, {{"MANWIDTH", "80"}});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "");
        for (const char* wanted : {"\nNAME\n", "\nSYNOPSIS\n", "\nOPTIONS\n", "\nEXIT STATUS\n",
                                   "\nEXAMPLES\n", "Quillpost " QP_VERSION " "})
            EXPECT_NE(run.out.find(wanted), std::string::npos) << wanted;
    }
}

// Every key of the settings table, and those declared beside the code that uses them, is
// documented in quillpost(1), by its own name.
TEST(ManPageTest, TheClientsPageNamesEverySetting) {
    std::vector<qp::settings::Setting> settings(std::begin(qp::settings::kAll),
                                                std::end(qp::settings::kAll));
    settings.insert(settings.end(), {qp::kLogoFolderSetting, qp::contacts::kImportFolderSetting,
                                     qp::contacts::kExportFolderSetting, qp::outbox::kGiveUpHours,
                                     qp::settings::kCountryCode, qp::settings::kLongDistancePrefix,
                                     qp::settings::kInternationalPrefix});
    const std::string page = qp::test::ReadFile(std::string(QP_MAN_DIR) + "/quillpost.1");
    const std::size_t begin = page.find(".SH SETTINGS");
    ASSERT_NE(begin, std::string::npos);
    const std::string section = page.substr(begin, page.find("\n.SH ", begin + 1) - begin);
    for (const qp::settings::Setting& setting : settings) {
        const std::regex named(std::string(R"(\.(B|BR|RB) ([^\n]*[ "(])?)") + setting.key +
                               R"(\b)");
        EXPECT_TRUE(std::regex_search(section, named)) << setting.key;
    }
}

} // namespace
