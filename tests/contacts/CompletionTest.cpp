#include "contacts/Completion.h"
#include "contacts/ContactLookup.h"

#include <gtest/gtest.h>

namespace {

using qp::contacts::Contact;

const std::vector<Contact> kBook = {
    {"Alice Smith", "Acme", {{"555.123.4567", true}, {"5559990000", false}}},
    {"Bob Smithers", "", {{"+1 555 222 3333", true}}},
    {"Carol Jones", "Blacksmith Ltd", {{"5553334444", true}}},
    {"\xC3\x89mile Zola", "Zola & Fils", {{"555 444 5555", false}}},
    {"Dan Nonumber", "Acme", {}},
};
// Most recent first, as the send dialog keeps it.
const std::vector<std::string> kHistory = {"(555) 444-5555", "(555) 777-8888", "(555) 123-4567"};

const std::string kAliceFax = "Alice Smith (Acme) \u2014 (555) 123-4567";
const std::string kAliceOther = "Alice Smith (Acme) \u2014 (555) 999-0000";
const std::string kBob = "Bob Smithers \u2014 +1 555 222 3333 (dials 15552223333)";
const std::string kCarol = "Carol Jones (Blacksmith Ltd) \u2014 (555) 333-4444";
const std::string kEmile = "\xC3\x89mile Zola (Zola & Fils) \u2014 (555) 444-5555";

TEST(CompleteRecipient, RanksStartsBeforeInsidesFaxNumbersBeforeHistoryBeforeOtherNumbers) {
    const struct {
        const char* what;
        std::string typed;
        std::vector<std::string> shown;
    } cases[] = {
        // Word starts of names before the organisation "Blacksmith", fax numbers first; the fax
        // number sent to before first among them.
        {"a surname, upper-cased by the box", "SMITH", {kAliceFax, kBob, kAliceOther, kCarol}},
        {"case folding beyond ASCII", "\xC3\x89MILE", {kEmile}},
        {"an organisation", "acme", {kAliceFax, kAliceOther}},
        // Digits: "555" begins every number but Bob's ("1555..."); the history-only number and
        // Emile's (sent to most recently) rank after the contacts' fax numbers.
        {"digits", "555", {kAliceFax, kCarol, kEmile, "(555) 777-8888", kAliceOther, kBob}},
        {"a number as written", "(555) 77", {"(555) 777-8888"}},
        {"nothing typed", "  ", {}},
        {"no match", "zz", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> shown;
        for (const qp::RecipientSuggestion& s :
             qp::contacts::CompleteRecipient(c.typed, kBook, kHistory, {}))
            shown.push_back(s.shown);
        EXPECT_EQ(shown, c.shown);
    }

    // The box gets the number as the history writes it, the cover page the name.
    const std::vector<qp::RecipientSuggestion> alice =
        qp::contacts::CompleteRecipient("alice", kBook, kHistory, {}, 1);
    ASSERT_EQ(alice.size(), 1u);
    EXPECT_EQ(alice[0].number, "(555) 123-4567");
    EXPECT_EQ(alice[0].name, "Alice Smith");
    EXPECT_EQ(alice[0].organisation, "Acme");
    EXPECT_TRUE(qp::contacts::CompleteRecipient("7778", kBook, kHistory, {})[0].name.empty());
}

// Each fax number is offered; one written with "+" goes into the box as the line dials it and is
// the number sent to before under that form; one the rules refuse goes in as written, for the box
// to say why.
TEST(CompleteRecipient, NumbersWrittenWithPlusGoIntoTheBoxAsTheLineDialsThem) {
    const std::vector<Contact> book = {{"Fay Ray",
                                        "",
                                        {{"+44 (0)20 7946 0000", true},
                                         {"+1 555 201 0001 x12", true},
                                         {"+1 555 201 0001", false}}}};
    const std::vector<std::string> history = {"15552010001"};
    const auto offered = [&](const std::string& typed, const qp::DialRules& rules) {
        std::vector<std::string> found;
        for (const qp::RecipientSuggestion& s :
             qp::contacts::CompleteRecipient(typed, book, history, rules))
            found.push_back(s.number + " | " + s.shown);
        return found;
    };
    EXPECT_EQ(offered("fay", {}),
              (std::vector<std::string>{
                  "011442079460000 | Fay Ray \u2014 +44 (0)20 7946 0000 (dials 011442079460000)",
                  "+1 555 201 0001 x12 | Fay Ray \u2014 +1 555 201 0001 x12 (cannot be dialled)",
                  "15552010001 | Fay Ray \u2014 +1 555 201 0001 (dials 15552010001)"}));
    EXPECT_EQ(offered("02079", {"44", "0", "00"}),
              std::vector<std::string>{
                  "02079460000 | Fay Ray \u2014 +44 (0)20 7946 0000 (dials 02079460000)"});
}

TEST(FindContactsByName, AWholeNameWinsOverStartsAndOrganisationsAreTheFallback) {
    std::vector<Contact> book = kBook;
    book.push_back({"Ann", "", {{"5550000001", true}}});
    book.push_back({"Anna Bell", "", {{"5550000002", true}}});
    const struct {
        const char* typed;
        std::vector<std::string> names;
    } cases[] = {
        {"ANN", {"Ann"}},
        {"an", {"Ann", "Anna Bell"}},
        {"smith", {"Alice Smith", "Bob Smithers"}},
        {" alice smith ", {"Alice Smith"}},
        {"acme", {"Alice Smith"}}, // Dan of Acme has no number
        {"blacksmith", {"Carol Jones"}},
        {"mith", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> names;
        for (const Contact& contact : qp::contacts::FindContactsByName(book, c.typed))
            names.push_back(contact.name);
        EXPECT_EQ(names, c.names) << c.typed;
    }
}

} // namespace
