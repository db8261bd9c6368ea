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
        {2100002, "Result 2100002: failed, the common folder could not be found.\n"},
        {2700013, "Result 2700013: failed, the common folder could not be made or secured.\n"},
        {3200013, "Result 3200013: failed, the PPD file could not be copied.\n"},
        {4201030, "Result 4201030: failed, the queue Quill_Post could not be added.\n"},
        // CUPS refused: forbidden, not authenticated, not authorized; the line says who may.
        {4201025,
         "quillpost-provision: CUPS refused the request; creating the fax printer needs the "
         "right to administer CUPS (run it as root on the machine CUPS runs on).\n"
         "Result 4201025: failed, the queue Quill_Post could not be added.\n"},
        {2001026,
         "quillpost-provision: CUPS refused the request; creating the fax printer needs the "
         "right to administer CUPS (run it as root on the machine CUPS runs on).\n"
         "Result 2001026: failed, the print queues could not be listed.\n"},
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
