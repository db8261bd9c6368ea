#include "contacts/ContactImport.h"
#include "contacts/VCard.h"

#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using qp::contacts::Contact;

// A Windows address book's export: UTF-16 little-endian with its byte order mark.
std::string Utf16Le(const std::string& ascii) {
    std::string text = "\xFF\xFE";
    for (char c : ascii) {
        text += c;
        text += '\0';
    }
    return text;
}

TEST(ContactImport, TakesVCardsOrCsvFromOtherBooksAndLeavesOutWhatItCannotUse) {
    qp::test::TempDir dir;
    const std::vector<Contact> book = {{"Ann", "", {{"5551234567", true}}}};
    const std::string ann = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nTEL;TYPE=FAX:5551234567\r\n"
                            "END:VCARD\r\n";
    const struct {
        const char* what;
        std::string text;
        std::vector<Contact> added;
        std::string summaryOrProblem;
    } cases[] = {
        {"UTF-16 vCards, one known, one without a number",
         Utf16Le(ann + "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bo\r\nEND:VCARD\r\n" +
                 "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Cy\r\nTEL:5550001111\r\nEND:VCARD\r\n"),
         {{"Cy", "", {{"5550001111", false}}}},
         "1 contact imported. 1 contact without a number was left out. 1 contact was in the "
         "address book already."},
        {"CSV in Windows-1252, columns in any order and case, the same row twice",
         "\xEF\xBB\xBFORGANIZATION,Fax,name\n\x80uro AG,5552223333,D\xFC"
         "rr\n\x80uro AG,5552223333,D\xFC"
         "rr",
         {{"D\xC3\xBCrr", "\xE2\x82\xACuro AG", {{"5552223333", true}}}},
         "1 contact imported. 1 contact was in the address book already."},
        {"vCards in international form, one with an extension",
         "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ed\r\nTEL;TYPE=fax:+1 555 201 0001\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Flo\r\nTEL;TYPE=fax:+44 20 7946 0000 x12\r\n"
         "END:VCARD\r\n",
         {{"Ed", "", {{"+1 555 201 0001", true}}}, {"Flo", "", {{"+44 20 7946 0000 x12", true}}}},
         "2 contacts imported, 1 number cannot be dialled: Flo, +44 20 7946 0000 x12: The "
         "extension after the number (x12) cannot be dialled: a fax goes to the number alone."},
        {"CSV with two numbers that cannot be dialled",
         "name,fax\nGus,+1 555 2010\nHal,555-0100\nIvy,+33 1 23 45 67 89\n",
         {{"Gus", "", {{"+1 555 2010", true}}},
          {"Hal", "", {{"555-0100", true}}},
          {"Ivy", "", {{"+33 1 23 45 67 89", true}}}},
         "3 contacts imported, 2 numbers cannot be dialled: Gus, Hal (the Contacts window says "
         "why)."},
        {"CSV without a fax column",
         "name,organisation,phone\nAnn,,5551234567\n",
         {},
         "its first row does not name the columns name, organisation and fax"},
        {"CSV with a quote that never ends",
         "name,fax\n\"Ann,5551234567\n",
         {},
         "a quoted field has no end"},
        {"vCards cut off", "BEGIN:VCARD\r\nFN:Ann\r\n", {}, "its last vCard has no end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        qp::test::WriteFile(dir.File("import"), c.text);
        const qp::contacts::ContactImport import =
            qp::contacts::ReadContactImport(dir.File("import"), book, {});
        EXPECT_EQ(import.added, c.added);
        EXPECT_EQ(import.problem.empty() ? qp::contacts::ImportSummary(import) : import.problem,
                  c.summaryOrProblem);
    }

    std::filesystem::resize_file(dir.File("import"), qp::contacts::kMaxVCardFileSize + 1);
    EXPECT_EQ(qp::contacts::ReadContactImport(dir.File("import"), book, {}).problem,
              "it is larger than 16 MB");
    EXPECT_EQ(qp::contacts::ReadContactImport(dir.Path(), book, {}).problem, "it is not a file");
}

} // namespace
