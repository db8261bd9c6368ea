#include "contacts/gui/ContactsWindow.h"
#include "base/DialRules.h"
#include "contacts/gui/ContactEditDialog.h"

#include "tests/support/TestSupport.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using qp::contacts::Contact;

// The rows the search leaves visible, each as "name|organisation|number|note".
std::vector<std::string> VisibleRows(const QTableWidget& table) {
    std::vector<std::string> rows;
    for (int row = 0; row < table.rowCount(); ++row) {
        if (table.isRowHidden(row))
            continue;
        QStringList cells;
        for (int column = 0; column < table.columnCount(); ++column)
            cells << table.item(row, column)->text();
        rows.push_back(cells.join('|').toStdString());
    }
    return rows;
}

// Import and export open in the user's documents, then each where it was last used, in the next
// window too. (The home folder while there are no documents is the cover sheet's test.)
TEST(ContactsWindow, ImportAndExportEachOpenWhereTheyWereLastUsed) {
    qp::test::TempUserEnvironment env;
    qp::contacts::ContactBook book;
    book.Load();
    const std::string documents = env.home.File("Documents"), shared = env.home.File("shared"),
                      out = env.home.File("out");
    for (const std::string& folder : {documents, shared, out})
        std::filesystem::create_directory(folder);
    qp::test::WriteFile(shared + "/book.csv", "Fax,Name\r\n5550123,Ann\r\n");
    std::optional<std::string> importFile, exportFile;
    std::vector<std::string> imports, exports;
    const ContactsWindowSeams seams{[&](QWidget*, const std::string& start) {
                                        imports.push_back(start);
                                        return importFile;
                                    },
                                    [&](QWidget*, const std::string& start) {
                                        exports.push_back(start);
                                        return exportFile;
                                    },
                                    {}};
    {
        ContactsWindow window(book, nullptr, seams);
        window.OnImport();
        window.OnExport();
        importFile = shared + "/book.csv";
        exportFile = out + "/contacts.vcf";
        window.OnImport();
        window.OnExport();
    }
    importFile.reset();
    exportFile.reset();
    ContactsWindow next(book, nullptr, seams);
    next.OnImport();
    next.OnExport();
    EXPECT_EQ(imports, (std::vector<std::string>{documents, documents, shared}));
    EXPECT_EQ(exports, (std::vector<std::string>{documents, documents, out}));
    EXPECT_TRUE(std::filesystem::exists(out + "/contacts.vcf"));
}

TEST(ContactsWindow, AddsImportsFindsEditsDeletesAndExportsTheBook) {
    qp::test::TempUserEnvironment env;
    qp::contacts::ContactBook book;
    book.Load();
    std::deque<std::optional<Contact>> edits;
    std::vector<Contact> editStarts;
    std::string exportPath = env.home.File("export.vcf");
    const std::string csv = env.home.File("book.csv");
    ContactsWindowSeams seams{
        [&](QWidget*, const std::string&) { return std::optional<std::string>(csv); },
        [&](QWidget*, const std::string&) { return std::optional<std::string>(exportPath); },
        [&](QWidget*, const Contact& start) {
            editStarts.push_back(start);
            std::optional<Contact> next = edits.front();
            edits.pop_front();
            return next;
        }};
    ContactsWindow window(book, nullptr, seams);
    QTableWidget& table = *window.Table();

    // A number written with "+" is shown with what the line dials for it.
    edits.push_back(Contact{"Zed", "", {{"+44 (0)20 7946 0000", true}}});
    window.OnAdd();
    EXPECT_EQ(editStarts.back(), Contact{});
    EXPECT_EQ(VisibleRows(table),
              std::vector<std::string>{"Zed||+44 (0)20 7946 0000|011442079460000|"});

    // Quotes per RFC 4180 and control characters shown as text; a row without a fax is left out.
    qp::test::WriteFile(csv,
                        "Fax,Name,Organisation,Notes\r\n"
                        "5551234567,\"Smith, Alice\",\"Acme \"\"West\"\"\",\"two\r\nlines\"\r\n"
                        ",Nobody,,\r\n"
                        "555-987-6543,Bob\x1B[2J,,\r\n");
    env.messages.Clear();
    window.OnImport();
    EXPECT_EQ(
        env.messages.Texts(),
        std::vector<std::string>{"2 contacts imported. 1 contact without a number was left out."});
    EXPECT_EQ(VisibleRows(table),
              (std::vector<std::string>{"Bob?[2J||555-987-6543|5559876543|",
                                        "Smith, Alice|Acme \"West\"|5551234567|5551234567|",
                                        "Zed||+44 (0)20 7946 0000|011442079460000|"}));

    window.SearchBox()->setText("ACME");
    EXPECT_EQ(VisibleRows(table),
              std::vector<std::string>{"Smith, Alice|Acme \"West\"|5551234567|5551234567|"});
    for (int row = 0; row < table.rowCount(); ++row) {
        if (!table.isRowHidden(row))
            table.selectRow(row);
    }
    // Numbers the rules refuse are kept, each fax number with the reason beside it.
    edits.push_back(Contact{"Alice Smith", "Acme", {{"555", true}, {"+1 555 201 0001 x12", true}}});
    window.OnEdit();
    EXPECT_EQ(editStarts.back().name, "Smith, Alice");
    window.SearchBox()->clear();
    EXPECT_EQ(VisibleRows(table)[0],
              "Alice Smith|Acme|555\n+1 555 201 0001 x12|\n|555: Fax phone number must be at least "
              "ten digits in length.\n+1 555 201 0001 x12: The extension after the number (x12) "
              "cannot be dialled: a fax goes to the number alone.");

    // The account's dial rules, as the settings hold them now.
    qp::Profile().WriteStrings(qp::settings::kSection, qp::DialRulesEntries({"44", "0", "00"}));
    window.Reload();
    EXPECT_EQ(VisibleRows(table)[2], "Zed||+44 (0)20 7946 0000|02079460000|");

    table.selectRow(0);
    env.messages.SetNextAnswer(qp::MessageAnswer::No);
    window.OnDelete();
    EXPECT_EQ(book.Contacts().size(), 3u);
    env.messages.SetNextAnswer(qp::MessageAnswer::Yes);
    window.OnDelete();
    EXPECT_EQ(book.Contacts().size(), 2u);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(env.messages.Texts().back(), "Delete the selected contact?");

    // The export is the book as saved; importing it again adds nothing.
    window.OnExport();
    EXPECT_EQ(qp::test::ReadFile(exportPath), qp::test::ReadFile(book.Path()));
    exportPath = env.home.File("absent/export.vcf");
    window.OnExport();
    EXPECT_EQ(env.messages.Texts().back().rfind("The contacts could not be exported to ", 0), 0u);
}

TEST(ContactEditDialog, NeedsANameAndANumberAndKeepsFaxNumbersApart) {
    ContactEditDialog dialog(Contact{"Ann", "Acme", {{"5551234567", true}, {"5550000000", false}}});
    EXPECT_EQ(dialog.windowTitle(), "Edit Contact");
    EXPECT_EQ(dialog.FaxNumbersEdit()->toPlainText(), "5551234567");
    EXPECT_EQ(dialog.OtherNumbersEdit()->toPlainText(), "5550000000");
    dialog.FaxNumbersEdit()->clear();
    dialog.OtherNumbersEdit()->setPlainText("  5550000000 \n\n5559999999");
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    EXPECT_EQ(dialog.EditedContact(),
              (Contact{"Ann", "Acme", {{"5550000000", false}, {"5559999999", false}}}));
    dialog.OtherNumbersEdit()->clear();
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    dialog.FaxNumbersEdit()->setPlainText("5551234567");
    dialog.NameEdit()->clear();
    dialog.OrganisationEdit()->clear();
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
}

} // namespace
