#include "fax/Upload.h"
#include "fax/StreamBuffers.h"
#include "platform/FileOps.h"
#include "tests/fax/support/MemoryStream.h"
#include "tests/fax/support/UploadMessages.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stop_token>

using qp::IoStatus;
using qp::test::MemoryConnector;
using qp::test::RecordingMessageSink;
using qp::test::TempDir;
using qp::test::WriteFile;

using qp::test::kLoginFailed;

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

    bool Upload(const std::string& email = "") {
        return qp::test::Shown(qp::UploadFax(
            m_account, "5551234567", email, m_image,
            [this](std::uint64_t position, std::uint64_t size) {
                m_progress.emplace_back(position, size);
            },
            m_connector));
    }

    std::vector<std::string> Writes() const { return m_connector.script->writes; }

    TempDir m_dir;
    std::string m_image = m_dir.File("fax.tif");
    qp::AccountSettings m_account;
    MemoryConnector m_connector;
    Progress m_progress;
    RecordingMessageSink m_messages;
    qp::ScopedMessageSink m_sink{m_messages};
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
    EXPECT_TRUE(m_messages.Texts().empty());
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
        m_connector.script = std::make_shared<qp::test::MemoryStreamScript>();
        m_connector.script->incoming = reply;
        m_messages.Clear();
        EXPECT_FALSE(Upload()) << reply;
        EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{kLoginFailed}) << reply;
        EXPECT_EQ(m_connector.script->writes.size(), 1u) << "nothing after the login block";
    }
}

TEST_F(UploadTest, RepliesEndAtAnEmptyLineOrTheEndOfTheStream) {
    // Bare LFs, a CR that takes the byte after it, blanks around lines, one byte per read.
    m_connector.script->incoming = "  success: in  \n \t \rXsuccess: go";
    m_connector.script->readChunk = 1;
    EXPECT_TRUE(Upload());
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(UploadTest, TheServersRefusalIsShownTrimmed) {
    m_connector.script->incoming = "success: in\r\n\r\n   error: mailbox full  \r\nmore\r\n\r\n";
    EXPECT_FALSE(Upload());
    EXPECT_EQ(m_messages.Texts(),
              std::vector<std::string>{"Fax upload failed: error: mailbox full"});
    EXPECT_TRUE(m_progress.empty());
    EXPECT_EQ(Writes().size(), 2u);
}

TEST_F(UploadTest, AHostileRefusalIsShownOnlyAsText) {
    const struct {
        std::string line;
        std::string shown;
    } cases[] = {
        {"error: <img src=\"/dev/zero\">", "error: <img src=\"/dev/zero\">"},
        {"error: <a href=\"x\">Sent OK</a>", "error: <a href=\"x\">Sent OK</a>"},
        {"error: \033[2J\033[32mFax uploaded.", "error: ?[2J?[32mFax uploaded."},
        {std::string("error: a\0b\x7f\xc2\x9b", 13), "error: a?b??"},
        {"error: \xff\xfe caf\xc3\xa9", "error: \xef\xbf\xbd\xef\xbf\xbd caf\xc3\xa9"},
    };
    for (const auto& c : cases) {
        m_connector.script = std::make_shared<qp::test::MemoryStreamScript>();
        m_connector.script->incoming = "success: in\r\n\r\n" + c.line + "\r\n\r\n";
        m_messages.Clear();
        EXPECT_FALSE(Upload());
        EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"Fax upload failed: " + c.shown})
            << c.shown;
    }
}

TEST_F(UploadTest, AServerThatHangsUpWithoutALineFails) {
    m_connector.script->incoming = "";
    EXPECT_FALSE(Upload());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{kLoginFailed});

    m_connector.script = std::make_shared<qp::test::MemoryStreamScript>();
    m_connector.script->incoming = "success: in\r\n\r\n";
    m_messages.Clear();
    EXPECT_FALSE(Upload());
    EXPECT_EQ(qp::test::FirstLines(m_messages.Texts()), std::vector<std::string>{kNoResponse});

    // An empty line alone is a reply without lines too.
    m_connector.script = std::make_shared<qp::test::MemoryStreamScript>();
    m_connector.script->incoming = "success: in\r\n\r\n\r\n";
    m_messages.Clear();
    EXPECT_FALSE(Upload());
    EXPECT_EQ(qp::test::FirstLines(m_messages.Texts()), std::vector<std::string>{kNoResponse});
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
        // Silence says nothing about the login: it is never reported as a wrong PIN.
        {"", IoStatus::TimedOut, 110, silent},
        {"success: in\r\n", IoStatus::TimedOut, 110, silent},
        {"success: in\r\n\r\n", IoStatus::TimedOut, 110, silent},
        // A reply cut off before its empty line by a silent server is no answer either.
        {"success: in\r\n\r\nsuccess: go\r\n", IoStatus::TimedOut, 110, silent},
        {"success: in\r\n\r\n\r\n", IoStatus::Closed, 0, std::string(kNoResponse) + "\n" + where},
        {"", IoStatus::Failed, 104, reset},
        {"success: in\r\n\r\nsuccess:", IoStatus::Failed, 104, reset},
    };
    for (const Case& c : cases) {
        m_connector.script = std::make_shared<qp::test::MemoryStreamScript>();
        m_connector.script->incoming = c.incoming;
        m_connector.script->afterIncoming = c.after;
        m_connector.script->readError = c.error;
        m_messages.Clear();
        EXPECT_FALSE(Upload()) << c.incoming;
        EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{c.message}) << c.incoming;
    }
}

TEST_F(UploadTest, TheServersWordAfterTheImageDecides) {
    constexpr const char* kNotStored = "error: could not store the fax";
    struct Case {
        const char* what;
        std::string verdict; // said only once the client has ended its sending side
        IoStatus after;
        int error;
        bool stopWhileWaiting;
        qp::Outcome expected;
    };
    const std::vector<Case> cases{
        {"nothing, then a close", "", IoStatus::Closed, 0, false, qp::Outcome::Success()},
        {"stored", "success: stored fax-1.tif\r\n\r\n", IoStatus::Closed, 0, false,
         qp::Outcome::Success()},
        {"not stored", std::string(" ") + kNotStored + " \r\n\r\n", IoStatus::Closed, 0, false,
         qp::Outcome::Failure(std::string("Fax upload failed: ") + kNotStored)},
        {"not stored, then silence", std::string(kNotStored) + "\r\n", IoStatus::TimedOut, 110,
         false, qp::Outcome::Failure(std::string("Fax upload failed: ") + kNotStored)},
        {"silence until the limit", "", IoStatus::TimedOut, 110, false, qp::Outcome::Success()},
        {"a reset", "", IoStatus::Failed, 104, false,
         qp::Outcome::Failure("Lost the connection to the fax server: 104\nConnection reset by "
                              "peer (fax.example.com, port 7541)")},
        {"stopped while waiting", std::string(kNotStored) + "\r\n\r\n", IoStatus::Closed, 0, true,
         qp::Outcome::Stopped()},
    };
    for (const Case& c : cases) {
        std::stop_source stopSource;
        m_connector.script = std::make_shared<qp::test::MemoryStreamScript>();
        m_connector.script->incoming = kAccepted;
        m_connector.script->verdict = c.verdict;
        m_connector.script->afterIncoming = c.after;
        m_connector.script->readError = c.error;
        if (c.stopWhileWaiting)
            m_connector.script->onEndSending = [&stopSource] { stopSource.request_stop(); };
        const qp::Outcome outcome = qp::UploadFax(m_account, "5551234567", "", m_image, nullptr,
                                                  m_connector, stopSource.get_token());
        EXPECT_EQ(outcome.ok, c.expected.ok) << c.what;
        EXPECT_EQ(outcome.message, c.expected.message) << c.what;
        EXPECT_TRUE(m_connector.script->sendingEnded) << c.what;
        EXPECT_EQ(Writes().size(), 3u) << c.what;
    }
}

TEST_F(UploadTest, WriteFailuresAtEachStageFail) {
    WriteImage(std::string(qp::kImageBlockSize + 5, 'x'));
    for (int failing = 1; failing <= 4; ++failing) {
        m_connector.script = std::make_shared<qp::test::MemoryStreamScript>();
        m_connector.script->incoming = kAccepted;
        m_connector.script->failWriteNumber = failing;
        m_connector.script->writeError = 32;
        m_messages.Clear();
        EXPECT_FALSE(Upload()) << failing;
        EXPECT_EQ(qp::test::FirstLines(m_messages.Texts()),
                  std::vector<std::string>{"Lost the connection to the fax server: 32"})
            << failing;
    }
}

TEST_F(UploadTest, FailuresBeforeTheExchange) {
    qp::RemoveFile(m_image);
    EXPECT_FALSE(Upload());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"Error accessing fax file: " + m_image});
    EXPECT_EQ(m_connector.connects, 0);

    WriteImage("II*");
    m_messages.Clear();
    m_connector.failSocket = true;
    EXPECT_FALSE(Upload());
    EXPECT_EQ(m_messages.Texts(),
              std::vector<std::string>{"Failed to create socket: 24\nToo many "
                                       "open files (fax.example.com, port 7541)"});

    m_messages.Clear();
    m_connector.failSocket = false;
    m_connector.connectError = 111;
    EXPECT_FALSE(Upload());
    EXPECT_EQ(m_messages.Texts(),
              std::vector<std::string>{"Could not connect to fax server: 111\nConnection refused "
                                       "(fax.example.com, port 7541)"});
}

TEST_F(UploadTest, AnImageThatShrinksAfterItWasAnnouncedFails) {
    WriteImage(std::string(3000, 'x'));
    m_connector.onConnect = [this] { WriteImage(std::string(100, 'x')); };
    EXPECT_FALSE(Upload());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"Error accessing fax file: " + m_image});
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
        m_messages.Clear();
        EXPECT_FALSE(Upload(email)) << c.name;
        EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"The " + c.name + advice});
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
