#include "fax/outbox/OutboxRecord.h"
#include "fax/outbox/RetrySchedule.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using qp::FailureKind;
using qp::outbox::Record;
using qp::outbox::State;

TEST(RetrySchedule, EachKindWaitsItsOwnTimeAndRefusalsNeedTheUser) {
    const struct {
        FailureKind kind;
        int streak;
        std::optional<std::int64_t> minutes;
    } cases[] = {
        {FailureKind::CannotConnect, 1, 1},  {FailureKind::CannotConnect, 2, 2},
        {FailureKind::CannotConnect, 3, 5},  {FailureKind::CannotConnect, 4, 10},
        {FailureKind::CannotConnect, 5, 20}, {FailureKind::CannotConnect, 6, 30},
        {FailureKind::CannotConnect, 7, 30}, {FailureKind::CannotConnect, 500, 30},
        {FailureKind::Busy, 1, 1},           {FailureKind::Busy, 9, 1},
        {FailureKind::TimedOut, 1, 5},       {FailureKind::TimedOut, 4, 5},
        {FailureKind::NotStored, 1, 10},     {FailureKind::NotStored, 3, 10},
        {FailureKind::Refused, 1, {}},       {FailureKind::None, 1, {}},
    };
    for (const auto& c : cases) {
        const std::optional<std::int64_t> delay = qp::outbox::RetryDelaySeconds(c.kind, c.streak);
        ASSERT_EQ(delay.has_value(), c.minutes.has_value()) << static_cast<int>(c.kind);
        if (delay) {
            EXPECT_EQ(*delay, *c.minutes * 60) << static_cast<int>(c.kind) << " " << c.streak;
        }
    }
}

Record FullRecord() {
    Record record;
    record.item.state = State::NeedsAttention;
    record.item.typed = "Ann \\ Bob\nline two\r";
    record.item.dialled = "5551234";
    record.item.email = "ann@example.com";
    record.item.choices = {qp::Resolution::High, true};
    record.item.tries = 4;
    record.item.pages = 3;
    record.item.queuedAt = 1700000000;
    record.item.nextTry = 1700000600;
    record.item.reason = "Fax upload failed: error: =x";
    record.item.lastKind = FailureKind::NotStored;
    record.firstTry = 1700000001;
    record.streak = 2;
    record.allBytesSent = true;
    record.answer = "success: stored\nas 7";
    return record;
}

// Records compare by what is written of them, which is every field.
void ExpectSame(const Record& a, const Record& b) {
    EXPECT_EQ(qp::outbox::FormatRecord(a), qp::outbox::FormatRecord(b));
}

TEST(OutboxRecord, EveryFieldComesBackAsItWasWritten) {
    qp::test::TempDir dir;
    const Record record = FullRecord();
    ASSERT_TRUE(qp::outbox::WriteRecord(dir.File("outbox"), record));
    const std::optional<Record> read = qp::outbox::ReadRecord(dir.File("outbox"));
    ASSERT_TRUE(read);
    ExpectSame(*read, record);
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("outbox").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(OutboxRecord, KeysOfALaterReleaseArePassedOver) {
    const std::string text = qp::outbox::FormatRecord(FullRecord()) + "colour=teal\n";
    const std::optional<Record> read = qp::outbox::ParseRecord(text);
    ASSERT_TRUE(read);
    ExpectSame(*read, FullRecord());
}

TEST(OutboxRecord, TextThatIsNotAWholeRecordIsRejected) {
    const std::string head = "quillpost-outbox 1\n";
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"another file", "state=waiting\n"},
        {"a later format", "quillpost-outbox 2\nstate=waiting\n"},
        {"no state", head + "typed=x\n"},
        {"unknown state", head + "state=flying\n"},
        {"cut off", head + "state=waiting\ntries=3"},
        {"no equals sign", head + "state=waiting\ntries\n"},
        {"negative tries", head + "state=waiting\ntries=-1\n"},
        {"number with rest", head + "state=waiting\ntries=3x\n"},
        {"number too large", head + "state=waiting\ntries=99999999999999999999\n"},
        {"empty number", head + "state=waiting\nnext=\n"},
        {"bad flag", head + "state=waiting\nlegal=yes\n"},
        {"bad resolution", head + "state=waiting\nresolution=ultra\n"},
        {"bad kind", head + "state=waiting\nkind=weather\n"},
        {"too large", head + "state=waiting\ntyped=" + std::string(70 * 1024, 'x') + "\n"},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(qp::outbox::ParseRecord(c.text)) << c.what;
}

TEST(OutboxRecord, OnlyARegularFileIsRead) {
    qp::test::TempDir dir;
    ASSERT_TRUE(qp::outbox::WriteRecord(dir.File("real"), FullRecord()));
    ASSERT_EQ(::symlink(dir.File("real").c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_TRUE(qp::outbox::ReadRecord(dir.File("real")));
    EXPECT_FALSE(qp::outbox::ReadRecord(dir.File("link")));
    EXPECT_FALSE(qp::outbox::ReadRecord(dir.File("fifo")));
    EXPECT_FALSE(qp::outbox::ReadRecord(dir.File("missing")));
}

} // namespace
