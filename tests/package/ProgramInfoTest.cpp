#include "platform/Version.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

struct Program {
    const char* name;
    const char* path;
};

// The tray client answers before it needs a display: no DISPLAY and no Qt platform here.
const std::map<std::string, std::optional<std::string>> kNoDisplay{
    {"DISPLAY", std::nullopt},
    {"WAYLAND_DISPLAY", std::nullopt},
    {"QT_QPA_PLATFORM", std::nullopt}};

// One version everywhere, in the about box's form: "1.0.030", not "1.0.30".
TEST(ProgramInfoTest, EveryProgramAnswersHelpAndVersionAlone) {
    EXPECT_TRUE(std::regex_match(QP_VERSION, std::regex(R"(\d+\.\d+\.\d{3})"))) << QP_VERSION;
    const Program programs[] = {
        {"quillpost", QP_PROGRAM_QUILLPOST},       {"quillpost-send", QP_SEND_PROGRAM},
        {"quillpost-faxd", QP_FAXD_PROGRAM},       {"quillpost-provision", QP_PROGRAM_PROVISION},
        {"quillpost-backend", QP_PROGRAM_BACKEND}, {"quillpost-view", QP_PROGRAM_VIEW},
        {"quillpost-release", QP_PROGRAM_RELEASE}};
    for (const Program& program : programs) {
        SCOPED_TRACE(program.name);
        const qp::test::ProgramRun version =
            qp::test::RunProgram({program.path, "--version"}, kNoDisplay);
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out, std::string(program.name) + " (Quillpost) " QP_VERSION "\n");
        EXPECT_EQ(version.err, "");

        const qp::test::ProgramRun help =
            qp::test::RunProgram({program.path, "--help"}, kNoDisplay);
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_EQ(help.out.rfind("usage: ", 0), 0u) << help.out;
        EXPECT_EQ(help.err, "");
    }
}

TEST(ProgramInfoTest, ProvisioningRefusesArgumentsItDoesNotKnow) {
    const qp::test::ProgramRun run = qp::test::RunProgram({QP_PROGRAM_PROVISION, "--force"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("quillpost-provision: unknown argument --force\nusage: ", 0), 0u)
        << run.err;
}

} // namespace
