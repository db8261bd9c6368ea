#include "capture/ProvisionReport.h"

#include <gtest/gtest.h>

namespace {

TEST(ProvisionReportTest, LastLineStatesTheResultInWordsAndAsANumber) {
    const struct {
        int result;
        const char* line;
    } cases[] = {
        {0, "Result 0: done, the fax printer Quill_Post is ready.\n"},
        {1300002, "Result 1300002: failed, the CUPS backend \"quillpost\" is not installed.\n"},
        {2001282, "Result 2001282: failed, the print queues could not be listed.\n"},
        {2700013, "Result 2700013: failed, the port could not be created.\n"},
        {3200013, "Result 3200013: failed, the PPD file could not be copied.\n"},
        {4201030, "Result 4201030: failed, the queue Quill_Post could not be added.\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qp::ProvisionClosingLines(c.result, false, "service cups start"), c.line);
}

TEST(ProvisionReportTest, AnUnreachableSchedulerGetsItsOwnLineBeforeTheResult) {
    EXPECT_EQ(qp::ProvisionClosingLines(2001282, true, "systemctl start cups"),
              "CUPS is not running: start it with \"systemctl start cups\", then run "
              "quillpost-provision again.\n"
              "Result 2001282: failed, the print queues could not be listed.\n");
}

} // namespace
