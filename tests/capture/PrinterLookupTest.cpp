#include "capture/FaxPrinter.h"
#include "capture/FaxPrinterLookup.h"
#include "tests/capture/FakePrintServer.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(PrinterLookupTest, MatchesTheNameWithUnderscoresAsBlanksInAnyLetterCase) {
    EXPECT_TRUE(qp::IsFaxPrinterName("Quill_Post"));
    EXPECT_TRUE(qp::IsFaxPrinterName("quill_post"));
    EXPECT_TRUE(qp::IsFaxPrinterName("QUILL POST"));
    EXPECT_FALSE(qp::IsFaxPrinterName("QuillPost"));
    EXPECT_FALSE(qp::IsFaxPrinterName("Quill_Post_2"));
    EXPECT_FALSE(qp::IsFaxPrinterName("Quill-Post"));
}

TEST(PrinterLookupTest, ReportsThePortOfTheLastMatchingQuillpostQueue) {
    qp::test::FakePrintServer server;
    server.queues = {{"Office", "ipp://printer.local/ipp/print"},
                     {"Quill_Post", "quillpost:/var/spool/quillpost/fax.ps"},
                     {"QUILL_POST", "quillpost:/srv/fax%20spool/fax.ps"},
                     // Same name, but it prints elsewhere: there is no port file to watch.
                     {"quill_post", "ipp://elsewhere/printers/x"}};
    std::ostringstream out;
    EXPECT_EQ(qp::FindFaxPrinterPort(server, out), "/srv/fax spool/fax.ps");
    EXPECT_EQ(out.str(), "");
}

TEST(PrinterLookupTest, NoPrinterOrNoListGivesNothing) {
    qp::test::FakePrintServer server;
    std::ostringstream out;
    EXPECT_EQ(qp::FindFaxPrinterPort(server, out), "");
    EXPECT_EQ(out.str(), "");

    server.queues = {{"Quill_Post", "quillpost:/var/spool/quillpost/fax.ps"}};
    server.listStatus = 1283;
    EXPECT_EQ(qp::FindFaxPrinterPort(server, out), "");
    EXPECT_EQ(out.str(), "Unable to retrieve printer: 1283");
}

} // namespace
