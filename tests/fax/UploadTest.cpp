#include "fax/Upload.h"
#include "fax/StreamBuffers.h"
#include "platform/FileOps.h"
#include "tests/fax/support/MemoryStream.h"
#include "tests/fax/support/Outcomes.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stop_token>

using qp::IoStatus;
using qp::Outcome;
using qp::test::FirstLine;
using qp::test::kLoginFailed;
using qp::test::MemoryConnector;
using qp::test::TempDir;
using qp::test::WriteFile;

namespace {

constexpr const char* kNoResponse = "Did not receive a response to the fax upload.";
constexpr const char* kAccepted = "success: logged in\r\n\r\nsuccess: send data\r\n\r\n";

using Progress = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

class UploadTest : public ::testing::Test {
protected:
    UploadTest() {
        m_account.host = "fax.example.com";
        m_account.port = 7541;
        m_account.login = "5550100";
        m_account.pin = "1234";
        WriteImage(std::string("II*\0", 4) + "image bytes");
        m_connector.script->incoming = kAccepted;
    }

    void WriteImage(const std::string& bytes) { WriteFile(m_image, bytes); }

    Outcome Upload(const std::string& email = "") {
        return qp::UploadFax(
            m_account, "5551234567", email, m_image,
            [this](std::uint64_t position, std::uint64_t size) {
                m_progress.emplace_back(position, size);
            },
            m_connector);
    }
    // A fresh connection whose server says `incoming`, then what `after` says.
    void Script(const std::string& incoming, IoStatus after = IoStatus::Closed, int error = 0) {
        m_connector.script = std::make_shared<qp::test::MemoryStreamScript>();
        m_connector.script->incoming = incoming;
        m_connector.script->afterIncoming = after;
        m_connector.script->readError = error;
    }

    std::vector<std::string> Writes() const { return m_connector.script->writes; }

    TempDir m_dir;
    std::string m_image = m_dir.File("fax.tif");
    qp::AccountSettings m_account;
    MemoryConnector m_connector;
    Progress m_progress;
};

} // namespace

TEST_F(UploadTest, LoginHeaderAndImageGoOutByteForByte) {
    ASSERT_TRUE(Upload());
    EXPECT_EQ(m_connector.host, "fax.example.com");
    EXPECT_EQ(m_connector.port, 7541);
    const std::string image = std::string("II*\0", 4) + "image bytes";
    EXPECT_EQ(Writes(), (std::vector<std::string>{"login: 5550100\r\npass: 1234\r\n\r\n",
                                                  "fax2\r\n"
                                                  "to: 5551234567\r\n"
                                                  "filename: fax.tif\r\n"
                                                  "content-length: 15\r\n"
                                                  "\r\n",
                                                  image}));
}

TEST_F(UploadTest, AddressesAreSentOnlyWhenTheyContainAnAt) {
    m_account.notifyEmail = "boss@example.com";
    ASSERT_TRUE(Upload("me@example.com"));
    EXPECT_EQ(Writes()[1], "fax2\r\n"
                           "to: 5551234567\r\n"
                           "email: me@example.com\r\n"
                           "notifyemail: boss@example.com\r\n"
                           "filename: fax.tif\r\n"
                           "content-length: 15\r\n"
                           "\r\n");

    EXPECT_EQ(qp::FaxHeader("1", "me", "boss", 0),
              "fax2\r\nto: 1\r\nfilename: fax.tif\r\ncontent-length: 0\r\n\r\n");
    EXPECT_EQ(qp::FaxHeader("1", "", "@", 7),
              "fax2\r\nto: 1\r\nnotifyemail: @\r\nfilename: fax.tif\r\ncontent-length: 7\r\n\r\n");
}

TEST_F(UploadTest, OnlyTheFirstReplyLineIsJudgedForSuccessInExactCase) {
    m_connector.script->incoming =
        "230 success: welcome\r\nerror: ignored\r\n\r\nok, success: go\r\n\r\n";
    EXPECT_TRUE(Upload());

    for (const char* reply : {"Success: welcome\r\n\r\n", "error: no\r\nsuccess: later\r\n\r\n"}) {
        Script(reply);
        EXPECT_EQ(Upload(), Outcome::Failure(kLoginFailed)) << reply;
        EXPECT_EQ(m_connector.script->writes.size(), 1u) << "nothing after the login block";
    }
}

TEST_F(UploadTest, RepliesEndAtAnEmptyLineOrTheEndOfTheStream) {
    // Bare LFs, a CR that takes the byte after it, blanks around lines, one byte per read.
    m_connector.script->incoming = "  success: in  \n \t \rXsuccess: go";
    m_connector.script->readChunk = 1;
    EXPECT_EQ(Upload(), Outcome::Success());
}

// Outside words reach the user trimmed and as text only (the rules are ShownAsText's).
TEST_F(UploadTest, TheServersRefusalIsShownTrimmedAndAsTextOnly) {
    using namespace std::string_literals;
    const struct {
        std::string line;
        std::string shown;
    } cases[] = {
        {"   error: mailbox full  \r\nmore", "error: mailbox full"},
        {"error: <a href=\"x\">Sent OK</a>\033[2J\0\xff"s,
         "error: <a href=\"x\">Sent OK</a>?[2J?\xef\xbf\xbd"},
    };
    for (const auto& c : cases) {
        Script("success: in\r\n\r\n" + c.line + "\r\n\r\n");
        EXPECT_EQ(Upload(), Outcome::Failure("Fax upload failed: " + c.shown));
        EXPECT_TRUE(m_progress.empty());
        EXPECT_EQ(Writes().size(), 2u) << "no image after a refusal";
    }
}

// A refused PIN, a full server and one that hangs up unasked are told apart, the last two with
// where it happened.
TEST_F(UploadTest, LoginRefusalsSayWhyTheServerDidNotLetUsIn) {
    const std::string where = "\n(fax.example.com, port 7541)";
    const std::string busy = "The fax server is busy. Please try again later." + where;
    const std::string closed =
        "The fax server closed the connection before answering the login." + where;
    const struct {
        std::string reply;
        std::string message;
    } cases[] = {
        {"error: invalid login\r\n\r\n", kLoginFailed},
        {"error: server busy, try again later\r\n\r\n", busy},
        {"  error: server busy", busy},
        {"error: server busy; success: maybe later\r\n\r\n", busy},
        {"", closed},
        {" \t ", closed},
    };
    for (const auto& c : cases) {
        Script(c.reply);
        EXPECT_EQ(Upload(), Outcome::Failure(c.message)) << c.reply;
        EXPECT_EQ(Writes().size(), 1u) << "nothing after the login block";
    }
}

TEST_F(UploadTest, SilenceAndBrokenConnectionsFailWithTheirMessages) {
    struct Case {
        std::string incoming;
        IoStatus after;
        int error;
        std::string message;
    };
    // Below the words the dialog has always used: what the number means, and where.
    const std::string where = "(fax.example.com, port 7541)";
    const std::string silent = std::string(qp::test::kNoAnswer) + "\n" + where;
    const std::string reset =
        "Lost the connection to the fax server: 104\nConnection reset by peer " + where;
    const std::vector<Case> cases{
        // Hanging up without a word after the login is no answer.
        {"success: in\r\n\r\n", IoStatus::Closed, 0, std::string(kNoResponse) + "\n" + where},
        // Silence says nothing about the login: it is never reported as a wrong PIN.
        {"", IoStatus::TimedOut, 110, silent},
        {"success: in\r\n", IoStatus::TimedOut, 110, silent},
        {"success: in\r\n\r\n", IoStatus::TimedOut, 110, silent},
        // A reply cut off before its empty line by a silent server is no answer either.
        {"success: in\r\n\r\nsuccess: go\r\n", IoStatus::TimedOut, 110, silent},
        // An empty line alone is a reply without lines too.
        {"success: in\r\n\r\n\r\n", IoStatus::Closed, 0, std::string(kNoResponse) + "\n" + where},
        {"", IoStatus::Failed, 104, reset},
        {"success: in\r\n\r\nsuccess:", IoStatus::Failed, 104, reset},
    };
    for (const Case& c : cases) {
        Script(c.incoming, c.after, c.error);
        EXPECT_EQ(Upload(), Outcome::Failure(c.message)) << c.incoming;
    }
}

// Once the server has every byte, only a whole first line of its own decides: one that begins with
// "success:" sends the fax, any other fails it. A server that closes without a byte took it.
// Anything else cannot be told from a fax kept: it is sent, not confirmed, never failed.
TEST_F(UploadTest, TheServersWordAfterTheImageDecides) {
    using namespace std::string_literals;
    const Outcome notConfirmed = Outcome::Unconfirmed(
        "The fax was sent, but the fax server did not confirm that it received it.\n"
        "(fax.example.com, port 7541)");
    const auto failed = [](const std::string& shown) {
        return Outcome::Failure("Fax upload failed: " + shown);
    };
    struct Case {
        const char* what;
        std::string verdict; // said only once the client has ended its sending side
        IoStatus after;
        int error;
        bool stopWhileWaiting;
        Outcome expected;
    };
    const std::vector<Case> cases{
        {"nothing, then a close", "", IoStatus::Closed, 0, false, Outcome::Success()},
        {"stored", "success: stored fax-1.tif\r\n\r\n", IoStatus::Closed, 0, false,
         Outcome::Success()},
        {"stored, blanks around it, then silence", " \tsuccess: stored \r\n", IoStatus::TimedOut,
         110, false, Outcome::Success()},
        {"stored, ended by the close", "success:", IoStatus::Closed, 0, false, Outcome::Success()},
        {"not stored", " error: could not store the fax \r\n\r\n", IoStatus::Closed, 0, false,
         failed("error: could not store the fax")},
        {"not stored, then silence", "error: disk full\r\n", IoStatus::TimedOut, 110, false,
         failed("error: disk full")},
        {"not stored, ended by the close", "error: disk full", IoStatus::Closed, 0, false,
         failed("error: disk full")},
        {"success: later in the line", "error: disk full (last success: stored 3 faxes)\r\n\r\n",
         IoStatus::Closed, 0, false, failed("error: disk full (last success: stored 3 faxes)")},
        {"success: after a NUL", "error: x\0success:\r\n\r\n"s, IoStatus::Closed, 0, false,
         failed("error: x?success:")},
        {"success: after a leading NUL", "\0success: stored\r\n"s, IoStatus::Closed, 0, false,
         failed("?success: stored")},
        {"a line begun, then silence", "success: sto", IoStatus::TimedOut, 110, false,
         notConfirmed},
        {"a line begun up to its CR, then silence", "error: disk full\r", IoStatus::TimedOut, 110,
         false, notConfirmed},
        {"silence until the limit", "", IoStatus::TimedOut, 110, false, notConfirmed},
        {"an empty line", "\r\n", IoStatus::Closed, 0, false, notConfirmed},
        {"a reset", "", IoStatus::Failed, 104, false, notConfirmed},
        {"stopped while waiting", "error: could not store the fax\r\n\r\n", IoStatus::Closed, 0,
         true, notConfirmed},
    };
    for (const Case& c : cases) {
        std::stop_source stopSource;
        Script(kAccepted, c.after, c.error);
        m_connector.script->verdict = c.verdict;
        if (c.stopWhileWaiting)
            m_connector.script->onEndSending = [&stopSource] { stopSource.request_stop(); };
        EXPECT_EQ(qp::UploadFax(m_account, "5551234567", "", m_image, nullptr, m_connector,
                                stopSource.get_token()),
                  c.expected)
            << c.what;
        EXPECT_TRUE(m_connector.script->sendingEnded) << c.what;
        EXPECT_EQ(Writes().size(), 3u) << c.what;
    }
}

TEST_F(UploadTest, WriteFailuresAtEachStageFail) {
    WriteImage(std::string(qp::kImageBlockSize + 5, 'x'));
    for (int failing = 1; failing <= 4; ++failing) {
        Script(kAccepted);
        m_connector.script->failWriteNumber = failing;
        m_connector.script->writeError = 32;
        const Outcome outcome = Upload();
        EXPECT_FALSE(outcome) << failing;
        EXPECT_EQ(FirstLine(outcome.message), "Lost the connection to the fax server: 32")
            << failing;
    }
}

TEST_F(UploadTest, FailuresBeforeTheExchange) {
    qp::RemoveFile(m_image);
    EXPECT_EQ(Upload(), Outcome::Failure("Error accessing fax file: " + m_image));
    EXPECT_EQ(m_connector.connects, 0);

    WriteImage("II*");
    m_connector.failSocket = true;
    EXPECT_EQ(Upload(), Outcome::Failure("Failed to create socket: 24\nToo many open files "
                                         "(fax.example.com, port 7541)"));
    m_connector.failSocket = false;
    m_connector.connectError = 111;
    EXPECT_EQ(Upload(), Outcome::Failure("Could not connect to fax server: 111\nConnection "
                                         "refused (fax.example.com, port 7541)"));
}

TEST_F(UploadTest, AnImageThatShrinksAfterItWasAnnouncedFails) {
    WriteImage(std::string(3000, 'x'));
    m_connector.onConnect = [this] { WriteImage(std::string(100, 'x')); };
    EXPECT_EQ(Upload(), Outcome::Failure("Error accessing fax file: " + m_image));
    EXPECT_EQ(Writes().size(), 2u);
}

TEST_F(UploadTest, EmptyImageIsAnnouncedWithLengthZero) {
    WriteImage("");
    EXPECT_TRUE(Upload());
    ASSERT_EQ(Writes().size(), 2u);
    EXPECT_NE(Writes()[1].find("content-length: 0\r\n\r\n"), std::string::npos);
    EXPECT_EQ(m_progress, (Progress{{0, 0}}));
}

TEST_F(UploadTest, ImageGoesOutInLargeBlocksWhileProgressMovesInSmallSteps) {
    const std::uint64_t size = 2 * qp::kImageBlockSize + 808;
    std::string image(size, '\0');
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 7);
    WriteImage(image);
    ASSERT_TRUE(Upload());
    const std::vector<std::string> writes = Writes();
    ASSERT_EQ(writes.size(), 5u);
    EXPECT_EQ(writes[2].size(), qp::kImageBlockSize);
    EXPECT_EQ(writes[3].size(), qp::kImageBlockSize);
    EXPECT_EQ(writes[4].size(), 808u);
    EXPECT_EQ(writes[2] + writes[3] + writes[4], image);

    Progress expected{{0, size}};
    for (std::uint64_t position = 1024; position < size; position += 1024)
        expected.emplace_back(position, size);
    expected.emplace_back(size, size);
    EXPECT_EQ(m_progress, expected);
}

TEST_F(UploadTest, ValuesWithLineBreaksAreRefusedBeforeConnecting) {
    const std::string advice = " contains a line break.\n\nPlease correct it in the configuration.";
    struct Case {
        std::string qp::AccountSettings::*field; // null: the per-fax address
        std::string value;
        std::string name;
    };
    const std::vector<Case> cases{
        {&qp::AccountSettings::notifyEmail, "a@example.com\r\nto: 5559999999",
         "notification e-mail address"},
        {&qp::AccountSettings::notifyEmail, "a@example.com\n", "notification e-mail address"},
        {&qp::AccountSettings::login, "5550100\rx", "message box number"},
        {&qp::AccountSettings::pin, "1234\n", "PIN"},
        {nullptr, "me@example.com\r\n", "e-mail address"},
    };
    const qp::AccountSettings clean = m_account;
    for (const Case& c : cases) {
        m_account = clean;
        std::string email;
        (c.field ? m_account.*c.field : email) = c.value;
        EXPECT_EQ(Upload(email), Outcome::Failure("The " + c.name + advice)) << c.name;
    }
    EXPECT_EQ(m_connector.connects, 0);
}

TEST(ReplyReader, LongRepliesAndLinesAcrossReads) {
    auto script = std::make_shared<qp::test::MemoryStreamScript>();
    script->incoming = "first\r\n" + std::string(5000, 'y') + "\r\n\r\nnext\r\n\r\n";
    script->readChunk = 3;
    qp::test::MemoryStream stream(script);
    qp::LineReader reader(stream);
    const qp::Reply reply = qp::ReadReply(reader);
    ASSERT_EQ(reply.lines.size(), 2u);
    EXPECT_EQ(reply.lines[0], "first");
    EXPECT_EQ(reply.lines[1], std::string(5000, 'y'));
    EXPECT_EQ(qp::ReadReply(reader).lines, std::vector<std::string>{"next"});
    const qp::Reply end = qp::ReadReply(reader);
    EXPECT_EQ(end.status, IoStatus::Ok);
    EXPECT_TRUE(end.lines.empty());
}

// The kind of each failure decides whether the outbox tries again, and when: only the server's
// own word refuses; going away, silence and a fax it could not keep pass.
TEST_F(UploadTest, EachFailureSaysWhetherALaterTryMayMendIt) {
    using Kind = qp::FailureKind;
    struct Case {
        const char* what;
        std::string incoming;
        IoStatus after;
        std::string verdict;
        int connectError;
        Kind kind;
    };
    const std::vector<Case> cases{
        {"connection refused", "", IoStatus::Closed, "", 111, Kind::CannotConnect},
        {"connect timed out", "", IoStatus::Closed, "", 110, Kind::CannotConnect},
        {"login refused", "error: invalid login\r\n\r\n", IoStatus::Closed, "", 0, Kind::Refused},
        {"busy at the login", "error: server busy\r\n\r\n", IoStatus::Closed, "", 0, Kind::Busy},
        {"hung up at the login", "", IoStatus::Closed, "", 0, Kind::CannotConnect},
        {"silent at the login", "", IoStatus::TimedOut, "", 0, Kind::TimedOut},
        {"reset at the login", "", IoStatus::Failed, "", 0, Kind::CannotConnect},
        {"number refused", "success: in\r\n\r\nerror: bad number\r\n\r\n", IoStatus::Closed, "", 0,
         Kind::Refused},
        {"busy at the fax", "success: in\r\n\r\nerror: server busy\r\n\r\n", IoStatus::Closed, "",
         0, Kind::Busy},
        {"silent at the fax", "success: in\r\n\r\n", IoStatus::TimedOut, "", 0, Kind::TimedOut},
        {"no answer to the fax", "success: in\r\n\r\n", IoStatus::Closed, "", 0,
         Kind::CannotConnect},
        {"not stored", kAccepted, IoStatus::Closed, "error: disk full\r\n\r\n", 0, Kind::NotStored},
    };
    for (const Case& c : cases) {
        Script(c.incoming, c.after, c.after == IoStatus::Failed ? 104 : 110);
        m_connector.script->verdict = c.verdict;
        m_connector.connectError = c.connectError;
        const Outcome outcome = Upload();
        EXPECT_FALSE(outcome) << c.what;
        EXPECT_EQ(outcome.kind, c.kind) << c.what;
    }
    m_connector.connectError = 0;
    m_connector.failSocket = true;
    EXPECT_EQ(Upload().kind, Kind::None) << "a local problem";
    qp::RemoveFile(m_image);
    EXPECT_EQ(Upload().kind, Kind::None) << "no image";
}

// The image's whole size reaches the progress only once the server has every byte: a client that
// keeps the fax learns from it that the try may not be repeated.
TEST_F(UploadTest, TheWholeSizeIsToldOnlyOnceTheServerHasEveryByte) {
    m_connector.script->drainStatus = IoStatus::Failed;
    m_connector.script->drainError = 104;
    EXPECT_FALSE(Upload());
    ASSERT_FALSE(m_progress.empty());
    EXPECT_LT(m_progress.back().first, m_progress.back().second);
}
