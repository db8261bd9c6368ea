#include "platform/Version.h"
#include "tests/package/Commands.h"

#include <gtest/gtest.h>

#include <filesystem>

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

} // namespace
