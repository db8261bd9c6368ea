#include "update/Manifest.h"
#include "tests/support/TestSupport.h"
#include "update/DownloadFile.h"
#include "update/UpdateCheck.h"

#include <gtest/gtest.h>

namespace {

struct ComparisonCase {
    const char* what;
    const char* server;
    std::optional<const char*> local; // nothing: no local manifest
    std::vector<std::string> expectedNew;
    // ctest lists the case by its name, not by its bytes.
    friend void PrintTo(const ComparisonCase& c, std::ostream* out) { *out << c.what; }
};

class ManifestComparison : public ::testing::TestWithParam<ComparisonCase> {};

TEST_P(ManifestComparison, FindsTheNewEntries) {
    const ComparisonCase& c = GetParam();
    const std::vector<std::string> server = qp::ManifestLines(c.server, false);
    const std::vector<std::string> local =
        c.local ? qp::ManifestLines(*c.local, true) : std::vector<std::string>{};
    EXPECT_EQ(qp::NewEntries(server, local), c.expectedNew) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManifestComparison,
    ::testing::Values(
        ComparisonCase{"identical", "a=1\nb=2\n", "a=1\nb=2\n", {}},
        ComparisonCase{"blanks and CR LF", "  a=1\t\r\n\fb=2 \r\n", "a=1\nb=2", {}},
        ComparisonCase{"moved line", "b=2\na=1\n", "a=1\nb=2\n", {}},
        ComparisonCase{"case of the name", "A=1\nb=2\n", "a=1\nb=2\n", {"A=1"}},
        ComparisonCase{"blank inside the line", "a =1\n", "a=1\n", {"a =1"}},
        ComparisonCase{"changed version", "a=1\nb=3\n", "a=1\nb=2\n", {"b=3"}},
        ComparisonCase{"empty server manifest", "", "a=1\n", {}},
        ComparisonCase{"blank server manifest", "\n \r\n\t\n", std::nullopt, {}},
        ComparisonCase{"extra local lines", "a=1\n", "x=9\n\na=1\ny=8\n", {}},
        ComparisonCase{
            "no local manifest", "a=1\n\nnoversion\n", std::nullopt, {"a=1", "noversion"}},
        ComparisonCase{"twice the same entry", "a=2\na=2\n", "a=1\n", {"a=2", "a=2"}}),
    qp::test::CaseName());

TEST(ManifestLines, LocalKeepsEmptyLinesAndServerDropsThem) {
    EXPECT_EQ(qp::ManifestLines("a=1\n\n b=2\n", true),
              (std::vector<std::string>{"a=1", "", "b=2"}));
    EXPECT_EQ(qp::ManifestLines("a=1\n\n b=2\n", false), (std::vector<std::string>{"a=1", "b=2"}));
}

TEST(ReleaseNames, OnlyNamesInsideTheFolderAreSafe) {
    const std::pair<std::string, bool> cases[] = {
        {"quillpost", true},
        {"a..b", true},
        {"quillpost-release.pub", true},
        {"lib/libx.so", false},
        {"", false},
        {"/etc/passwd", false},
        {"../x", false},
        {"lib/../../x", false},
        {".", false},
        {"..", false},
        {"a/..", false},
        {"a\nb", false},
        {"a\rb", false},
        {std::string("a\0b", 3), false},
        {"faxmfst.txt", false},
        {"faxmfst.txt.minisig", false},
        {"quillpost-cpy", false},
        {"quillpost.tmp", false},
        {"quillpost.old", false},
    };
    for (const auto& [name, safe] : cases)
        EXPECT_EQ(qp::IsSafeReleaseName(name), safe) << name;
}

TEST(AutoUpdateCheck, ChecksAfterFifteenSecondsThenDaily) {
    qp::test::FakeClock clock;
    std::atomic<bool> stop{false};
    int checks = 0;
    EXPECT_EQ(qp::AutoUpdateCheckProc(clock, stop,
                                      [&] {
                                          if (++checks == 3)
                                              stop = true;
                                      }),
              0u);
    EXPECT_EQ(checks, 3);
    EXPECT_EQ(clock.Sleeps(), (std::vector<int>{15000, 86400000, 86400000, 86400000}));
}

} // namespace
