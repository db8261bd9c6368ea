// quillpost-faxd as a program: what only the running server shows.
#include "tests/fax/support/FaxdProcess.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(FaxdProgram, StopsCleanlyWithAClientHalfWayThroughAndKeepsNothingOfIt) {
    qp::test::TempDir dir;
    qp::test::FaxdProcess server(dir.Path(), "5550100 2468\n");
    const int client = qp::test::ConnectToLoopback(server.Port());
    const std::string opening = "login: 5550100\r\npass: 2468\r\n\r\nfax2\r\nto: 5551234567\r\n"
                                "content-length: 1000\r\n\r\n" +
                                std::string("II*\0partial", 11);
    ::send(client, opening.data(), opening.size(), MSG_NOSIGNAL);
    EXPECT_EQ(qp::test::ReadBlock(client), "success: logged in\r\n\r\n");
    EXPECT_EQ(qp::test::ReadBlock(client), "success: send 1000 bytes\r\n\r\n");

    EXPECT_EQ(server.Stop(), 0);
    EXPECT_EQ(server.Log().back(), "stopped");
    EXPECT_TRUE(server.Stored(".tif").empty());
    ::close(client);
}

} // namespace
