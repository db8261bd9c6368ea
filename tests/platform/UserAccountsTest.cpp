#include "platform/UserAccounts.h"
#include "tests/support/TestSupport.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

// A user database of one account that needs `needs` bytes of buffer, or that answers `error`.
struct FakeDatabase {
    std::size_t needs;
    int error;
    bool present;
    std::vector<std::size_t> offered;
};
FakeDatabase* g_database = nullptr;

template <typename Key>
int FakeLookup(Key, passwd* entry, char* buffer, std::size_t size, passwd** found) {
    g_database->offered.push_back(size);
    *found = nullptr;
    if (g_database->error != 0 || size < g_database->needs)
        return g_database->error != 0 ? g_database->error : ERANGE;
    if (g_database->present) {
        entry->pw_name = std::strcpy(buffer, "fiona");
        entry->pw_dir = std::strcpy(buffer + 8, "/home/fiona");
        entry->pw_uid = 1234;
        entry->pw_gid = 100;
        *found = entry;
    }
    return 0;
}

struct LookupCase {
    const char* what;
    std::size_t needs;
    int error;
    bool present;
    bool found;
    int lookupError;
};

class AccountLookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(AccountLookupTest, GrowsTheBufferUntilTheEntryFitsAndTellsMissingFromUnknown) {
    const LookupCase& c = GetParam();
    for (const bool byName : {true, false}) {
        FakeDatabase database{c.needs, c.error, c.present, {}};
        g_database = &database;
        const qp::AccountLookup lookup = byName ? qp::AccountNamed("fiona", FakeLookup<const char*>)
                                                : qp::AccountOf(1234, FakeLookup<uid_t>);
        EXPECT_EQ(lookup.error, c.lookupError);
        ASSERT_EQ(lookup.account.has_value(), c.found);
        if (c.found) {
            EXPECT_EQ(lookup.account->login, "fiona");
            EXPECT_EQ(lookup.account->uid, 1234u);
            EXPECT_EQ(lookup.account->gid, 100u);
            EXPECT_EQ(lookup.account->home, "/home/fiona");
        }
        // Each try offers twice the room of the one before, up to a megabyte and no further.
        for (std::size_t i = 1; i < database.offered.size(); ++i)
            EXPECT_EQ(database.offered[i], 2 * database.offered[i - 1]);
        EXPECT_EQ(database.offered.back() == std::size_t{1} << 20, c.lookupError == ERANGE);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AccountLookupTest,
    ::testing::Values(LookupCase{"fits at once", 64, 0, true, true, 0},
                      LookupCase{"a directory entry of 200 KiB", 200 << 10, 0, true, true, 0},
                      LookupCase{"larger than a megabyte", 2 << 20, 0, true, false, ERANGE},
                      LookupCase{"no such user", 64, 0, false, false, 0},
                      LookupCase{"no such user said with ENOENT", 0, ENOENT, true, false, 0},
                      LookupCase{"database unreachable", 0, EIO, true, false, EIO}),
    qp::test::CaseName());

} // namespace
