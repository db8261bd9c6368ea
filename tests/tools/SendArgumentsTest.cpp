#include "tools/faxd/Accounts.h"
#include "tools/faxd/FaxServer.h"
#include "tools/faxd/Outbox.h"
#include "tools/send/SendCommand.h"

#include <gtest/gtest.h>

using qp::send::ParseSendArguments;

TEST(SendArguments, FullAndMinimalCommandLines) {
    std::string error;
    const auto full = ParseSendArguments({"--to", "(555) 123-4567", "--resolution", "high",
                                          "--legal", "--cover", "c.ps", "--pin-file", "p", "b.ps"},
                                         error);
    ASSERT_TRUE(full) << error;
    EXPECT_EQ(full->to, "(555) 123-4567");
    EXPECT_EQ(full->choices.resolution, qp::Resolution::High);
    EXPECT_TRUE(full->choices.legal);
    EXPECT_EQ(full->coverPath, "c.ps");
    EXPECT_EQ(full->bodyPath, "b.ps");
    EXPECT_EQ(full->pinFile, "p");
    EXPECT_FALSE(full->coverSheet);

    const auto minimal = ParseSendArguments({"doc.ps", "--to", "5551234567"}, error);
    ASSERT_TRUE(minimal) << error;
    EXPECT_EQ(minimal->choices.resolution, qp::Resolution::Fine);
    EXPECT_FALSE(minimal->choices.legal);
    EXPECT_TRUE(minimal->coverPath.empty());
    EXPECT_FALSE(minimal->queue);

    const auto queued = ParseSendArguments({"--queue", "--to", "5551234567", "b.ps"}, error);
    ASSERT_TRUE(queued) << error;
    EXPECT_TRUE(queued->queue);

    const auto dashed = ParseSendArguments({"--to", "5551234567", "--", "-odd.ps"}, error);
    ASSERT_TRUE(dashed) << error;
    EXPECT_EQ(dashed->bodyPath, "-odd.ps");

    const auto sheet = ParseSendArguments({"--to", "5551234567", "--cover-sheet", "b.ps"}, error);
    ASSERT_TRUE(sheet) << error;
    EXPECT_TRUE(sheet->coverSheet);
    EXPECT_FALSE(sheet->coverTo || sheet->coverRe || sheet->coverNotes);

    // An empty value is an override too: this fax's page has no Re.
    const auto filled = ParseSendArguments(
        {"--re", "", "--to", "5551234567", "--cover-sheet", "--to-name", "Ann", "b.ps"}, error);
    ASSERT_TRUE(filled) << error;
    EXPECT_EQ(filled->coverTo, "Ann");
    EXPECT_EQ(filled->coverRe, "");
    EXPECT_FALSE(filled->coverNotes);
}

TEST(SendArguments, WhatIsNotASendIsRefused) {
    const std::vector<std::vector<std::string>> bad{
        {"doc.ps"},
        {"--to", "5551234567"},
        {"--to"},
        {"--to", "5551234567", "--resolution", "High", "doc.ps"},
        {"--to", "5551234567", "--fast", "doc.ps"},
        {"--to", "5551234567", "a.ps", "b.ps"},
        {"--to", "5551234567", "--cover", "c.ps", "--cover-sheet", "b.ps"},
        {"--to", "5551234567", "--note", "Two pages", "b.ps"},
        {"--to", "5551234567", "--cover-sheet", "b.ps", "--to-name"},
        {"--to", "5551234567", "b.ps", "--pin-file"},
        // The outbox sends with the stored account: a PIN given here would go nowhere.
        {"--to", "5551234567", "--queue", "--pin-file", "p", "b.ps"},
    };
    for (const auto& args : bad) {
        std::string error;
        EXPECT_FALSE(ParseSendArguments(args, error)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
    }
}

TEST(FaxServerPieces, AccountsFileAndListenAddress) {
    std::string error;
    const auto accounts =
        qp::faxd::Accounts::Parse("# boxes\n\n5550100 2468\n  5550199\t1111  \n", error);
    ASSERT_TRUE(accounts) << error;
    EXPECT_EQ(accounts->Size(), 2u);
    EXPECT_TRUE(accounts->Accepts("5550199", "1111"));
    EXPECT_FALSE(accounts->Accepts("5550100", "1111"));
    EXPECT_FALSE(accounts->Accepts("", ""));
    EXPECT_FALSE(qp::faxd::Accounts::Parse("5550100\n", error));
    EXPECT_FALSE(qp::faxd::Accounts::Parse("5550100 1 2\n", error));

    std::string address;
    int port = -1;
    EXPECT_TRUE(qp::faxd::ParseListenAddress("127.0.0.1:0", address, port));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(port, 0);
    EXPECT_FALSE(qp::faxd::ParseListenAddress("127.0.0.1", address, port));
    EXPECT_FALSE(qp::faxd::ParseListenAddress("127.0.0.1:70000", address, port));
    EXPECT_FALSE(qp::faxd::ParseListenAddress(":7541", address, port));

    EXPECT_TRUE(qp::faxd::HasTiffSignature("II*\0", 4));
    EXPECT_TRUE(qp::faxd::HasTiffSignature("MM\0*rest", 8));
    EXPECT_FALSE(qp::faxd::HasTiffSignature("II*", 3));
    EXPECT_FALSE(qp::faxd::HasTiffSignature("%PDF", 4));
}
