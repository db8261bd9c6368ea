#include "contacts/ContactImport.h"

#include "contacts/BoundedFile.h"
#include "contacts/CsvContacts.h"
#include "contacts/VCard.h"
#include "contacts/VCardValue.h"
#include "platform/OutsideText.h"

#include <algorithm>

namespace qp::contacts {
namespace {

bool StartsAsVCard(const std::string& text) {
    std::size_t at = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (at < text.size() &&
           (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
        ++at;
    std::string head = text.substr(at, 11);
    for (char& c : head)
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return head == "BEGIN:VCARD";
}

std::string Counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

ContactImport ReadContactImport(const std::string& path, const std::vector<Contact>& book,
                                const DialRules& rules) {
    ContactImport import;
    BoundedFile file = ReadBoundedFile(path, kMaxVCardFileSize);
    switch (file.state) {
    case BoundedFile::State::Missing:
        import.problem = "it does not exist";
        return import;
    case BoundedFile::State::TooLarge:
        import.problem = "it is larger than 16 MB";
        return import;
    case BoundedFile::State::Unreadable:
        import.problem = file.problem;
        return import;
    case BoundedFile::State::Read:
        break;
    }
    if (std::optional<std::string> utf8 = Utf16AsUtf8(file.text))
        file.text = std::move(*utf8);

    std::vector<Contact> read;
    if (StartsAsVCard(file.text)) {
        VCardRead cards = ReadVCards(file.text);
        import.problem = std::move(cards.problem);
        read = std::move(cards.contacts);
    } else {
        CsvRead table = ReadCsvContacts(file.text);
        import.problem = std::move(table.problem);
        read = std::move(table.contacts);
    }
    if (!import.problem.empty())
        return import;

    for (Contact& contact : read) {
        const auto same = [&contact](const Contact& other) { return other == contact; };
        if (contact.numbers.empty())
            ++import.withoutNumber;
        else if (std::any_of(book.begin(), book.end(), same) ||
                 std::any_of(import.added.begin(), import.added.end(), same))
            ++import.known;
        else
            import.added.push_back(std::move(contact));
    }
    for (const Contact& contact : import.added) {
        for (const std::string& number : contact.FaxNumbers()) {
            const FaxNumberCheck dialled = DialledNumber(number, rules);
            if (!dialled.Ok())
                import.undialable.push_back({ShownAsText(ContactLabel(contact)),
                                             ShownAsText(number), ShownAsText(dialled.message)});
        }
    }
    return import;
}

std::string ImportSummary(const ContactImport& import) {
    std::string summary = Counted(import.added.size(), "contact imported", "contacts imported");
    const std::vector<ContactImport::Undialable>& undialable = import.undialable;
    if (undialable.empty()) {
        summary += ".";
    } else if (undialable.size() == 1) {
        summary += ", 1 number cannot be dialled: " + undialable.front().contact + ", " +
                   undialable.front().number + ": " + undialable.front().reason;
        if (!summary.ends_with('.'))
            summary += ".";
    } else {
        summary += ", " + std::to_string(undialable.size()) + " numbers cannot be dialled: ";
        constexpr std::size_t kMostNamed = 5;
        for (std::size_t i = 0; i < std::min(undialable.size(), kMostNamed); ++i)
            summary += (i == 0 ? "" : ", ") + undialable[i].contact;
        if (undialable.size() > kMostNamed)
            summary += " and " + std::to_string(undialable.size() - kMostNamed) + " more";
        summary += " (the Contacts window says why).";
    }
    if (import.withoutNumber > 0)
        summary += " " +
                   Counted(import.withoutNumber, "contact without a number was",
                           "contacts without a number were") +
                   " left out.";
    if (import.known > 0)
        summary += " " + Counted(import.known, "contact was", "contacts were") +
                   " in the address book already.";
    return summary;
}

} // namespace qp::contacts
