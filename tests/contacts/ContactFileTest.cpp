#include "contacts/ContactBook.h"
#include "contacts/VCard.h"

#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using qp::contacts::Contact;
using qp::contacts::ReadVCards;
using qp::contacts::WriteVCards;

std::string Card(const std::string& version, const std::string& lines) {
    return "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + lines + "END:VCARD\r\n";
}

TEST(VCard, ReadsTheSubsetOfEachVersionAndRefusesWhatIsNoVCardFile) {
    const struct {
        const char* what;
        std::string text;
        std::vector<Contact> contacts;
        std::string problem;
    } cases[] = {
        {"4.0 folded inside a character, escapes, quoted TYPE list, tel URI",
         Card("4.0", "FN:Jos\xC3\r\n \xA9 Garc\xC3\xAD"
                     "a\\, Jr.\r\n"
                     "ORG:Acme\\; West;Sales\r\n"
                     "TEL;VALUE=uri;TYPE=\"voice,cell\":tel:+1-555-555-0100;ext=5\r\n"
                     "TEL;TYPE=\"fax,work\":(555) 123-4567\r\n"),
         {{"Jos\xC3\xA9 Garc\xC3\xAD"
           "a, Jr.",
           "Acme; West, Sales",
           {{"(555) 123-4567", true}, {"+1-555-555-0100", false}}}},
         ""},
        {"3.0 without FN, TYPE list and repeated TYPE, grouped TEL, LF line ends",
         "BEGIN:VCARD\nVERSION:3.0\nN:Smith;Alice;Q.,R.;Dr.;\n"
         "item1.TEL;TYPE=WORK;type=FAX:5551234567\nTEL;TYPE=work,voice:5559990000\n"
         "PHOTO;ENCODING=b;TYPE=JPEG:AAAA\n END:VCARD-not\nEND:VCARD\n",
         {{"Dr. Alice Q. R. Smith", "", {{"5551234567", true}, {"5559990000", false}}}},
         ""},
        {"2.1 bare parameters, quoted-printable Latin-1 with a soft break, base64 block",
         Card("2.1", "N;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=\r\n"
                     "=FCrgen\r\n"
                     "PHOTO;BASE64:\r\n/9j/4AAQ\r\nSkZJRgAB\r\n\r\n"
                     "TEL;WORK;VOICE:030 1234567\r\nTEL;FAX;WORK:030 7654321\r\n"),
         {{"J\xC3\xBCrgen M\xC3\xBCller", "", {{"030 7654321", true}, {"030 1234567", false}}}},
         ""},
        {"2.1 quoted-printable UTF-8, a number the rules refuse kept, two cards",
         Card("2.1", "FN;CHARSET=UTF-8;QUOTED-PRINTABLE:=C3=89mile\r\nTEL;FAX:+33 1 23\r\n") +
             "\r\n" + Card("4.0", "FN:Bob\r\n"),
         {{"\xC3\x89mile", "", {{"+33 1 23", true}}}, {"Bob", "", {}}},
         ""},
        {"empty file", "", {}, ""},
        {"garbage", "This is no address book.\n", {}, "line 1 is not a vCard property"},
        {"text before the first card",
         "X:1\r\n" + Card("4.0", "FN:A\r\n"),
         {},
         "line 1 is outside a vCard"},
        {"a card cut off",
         "BEGIN:VCARD\r\nFN:A\r\nTEL:5551234567",
         {},
         "its last vCard has no end"},
        {"a line without a colon inside a card",
         Card("4.0", "FN:A\r\nnonsense\r\n"),
         {},
         "line 4 is not a vCard property"},
        {"a NUL byte", Card("4.0", std::string("FN:A\0B\r\n", 8)), {}, "it holds a NUL byte"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const qp::contacts::VCardRead read = ReadVCards(c.text);
        EXPECT_EQ(read.problem, c.problem);
        EXPECT_EQ(read.contacts, c.contacts);
    }

    std::string longLine = "NOTE:";
    for (std::size_t i = 0; i <= qp::contacts::kMaxVCardLineLength / 70; ++i)
        longLine += std::string(70, 'x') + "\r\n ";
    EXPECT_EQ(ReadVCards(Card("4.0", longLine + "\r\n")).problem, "line 3 is too long");
}

// What goes out reads back the same, byte for byte, and keeps to 75 octets a line.
TEST(VCard, WritesVersion4ThatReadsBackToTheSameBytes) {
    const std::string foreign =
        Card("3.0", "N:\xC3\x9C"
                    "bel;\xC3\x85sa;;;\r\nORG:Wei\xC3\x9F\\, Schwarz \\; S\xC3\xB6hne;Export\r\n"
                    "TEL;TYPE=CELL:+49 171 000\r\nTEL;TYPE=FAX:0049-30-123456\r\n") +
        Card("2.1", "FN;ENCODING=QUOTED-PRINTABLE:Line=0D=0Abreak \\ back\r\nTEL;FAX:1\r\n") +
        Card("4.0", "FN:" + std::string(40, 'a') + std::string(30, '\xE2') + "\r\n");
    const std::string exported = WriteVCards(ReadVCards(foreign).contacts);
    const qp::contacts::VCardRead again = ReadVCards(exported);
    ASSERT_TRUE(again.Ok()) << again.problem;
    EXPECT_EQ(WriteVCards(again.contacts), exported);
    EXPECT_EQ(again.contacts[0].organisation, "Wei\xC3\x9F, Schwarz ; S\xC3\xB6hne, Export");
    EXPECT_EQ(again.contacts[1].name, "Line\nbreak \\ back");
    EXPECT_NE(exported.find("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:\xC3\x85sa \xC3\x9C"
                            "bel\r\nORG:Wei\xC3\x9F\\, Schwarz \\; S\xC3\xB6hne\\, Export\r\n"
                            "TEL;TYPE=fax:0049-30-123456\r\nTEL;TYPE=voice:+49 171 000\r\n"),
              std::string::npos)
        << exported;
    std::size_t start = 0;
    for (std::size_t end = exported.find("\r\n"); end != std::string::npos;
         start = end + 2, end = exported.find("\r\n", start))
        EXPECT_LE(end - start, 75u) << exported.substr(start, end - start);
}

TEST(ContactBook, KeepsADamagedFileAsideAndNeverWritesOverAFileItCouldNotRead) {
    qp::test::TempUserEnvironment env;
    const std::string folder = env.home.File("data/Quillpost");
    qp::contacts::ContactBook book;
    ASSERT_EQ(book.Path(), folder + "/contacts.vcf");

    book.Load(); // no file: an empty book, nothing said
    EXPECT_TRUE(book.Contacts().empty());
    ASSERT_TRUE(book.Add({"Ann", "", {{"5551234567", false}, {"5557654321", true}}}));
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat(book.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    qp::contacts::ContactBook other;
    other.Load();
    ASSERT_EQ(other.Contacts().size(), 1u);
    EXPECT_EQ(other.Contacts()[0].FaxNumber(), "5557654321");

    const std::string damaged = Card("4.0", "FN:Ann\r\n") + "BEGIN:VCARD\r\nFN:Bo";
    qp::test::WriteFile(book.Path(), damaged);
    env.messages.Clear();
    book.Load();
    EXPECT_TRUE(book.Contacts().empty());
    std::vector<std::string> aside;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("contacts.vcf.damaged-"))
            aside.push_back(entry.path().string());
    }
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(qp::test::ReadFile(aside[0]), damaged);
    EXPECT_EQ(env.messages.Texts(),
              std::vector<std::string>{"The contacts file " + book.Path() +
                                       " is damaged (its last vCard has no end). It was kept as " +
                                       aside[0] + " and the address book starts empty."});
    EXPECT_TRUE(book.Add({"Cy", "", {{"5550001111", true}}}));
    EXPECT_EQ(qp::test::ReadFile(aside[0]), damaged);

    // A file that cannot be read at all stays where it is, and the book is not saved over it.
    std::filesystem::remove(book.Path());
    std::filesystem::create_directory(book.Path());
    env.messages.Clear();
    book.Load();
    EXPECT_FALSE(book.Add({"Di", "", {{"5550002222", true}}}));
    EXPECT_TRUE(std::filesystem::is_directory(book.Path()));
    ASSERT_EQ(env.messages.Texts().size(), 2u);
    EXPECT_EQ(env.messages.Texts()[0], "The contacts file " + book.Path() +
                                           " cannot be read (it is not a file). The address book "
                                           "starts empty and is not saved over it.");
}

} // namespace
