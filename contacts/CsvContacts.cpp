#include "contacts/CsvContacts.h"

#include "contacts/VCardValue.h"
#include "platform/TextLines.h"

#include <optional>

namespace qp::contacts {
namespace {

using Row = std::vector<std::string>;

// The rows of the table; nothing when a quoted field never ends.
std::optional<std::vector<Row>> ParseRows(std::string_view text) {
    std::vector<Row> rows;
    Row row;
    std::string field;
    bool quoted = false;
    bool fieldStarted = false;
    const auto endField = [&] {
        row.push_back(std::move(field));
        field.clear();
        fieldStarted = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else
                quoted = false;
        } else if (c == '"' && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
        } else if (c == ',') {
            endField();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            endField();
            rows.push_back(std::move(row));
            row.clear();
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (fieldStarted || !row.empty()) {
        endField();
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string Folded(const std::string& text) {
    std::string folded = TrimBlanks(text);
    for (char& c : folded)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return folded;
}

} // namespace

CsvRead ReadCsvContacts(std::string_view text) {
    CsvRead read;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    const std::optional<std::vector<Row>> rows = ParseRows(text);
    if (!rows) {
        read.problem = "a quoted field has no end";
        return read;
    }
    constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);
    std::size_t name = kAbsent, organisation = kAbsent, fax = kAbsent;
    if (!rows->empty()) {
        for (std::size_t column = 0; column < rows->front().size(); ++column) {
            const std::string heading = Folded(rows->front()[column]);
            if (heading == "name" && name == kAbsent)
                name = column;
            else if ((heading == "organisation" || heading == "organization") &&
                     organisation == kAbsent)
                organisation = column;
            else if (heading == "fax" && fax == kAbsent)
                fax = column;
        }
    }
    if (name == kAbsent || fax == kAbsent) {
        read.problem = "its first row does not name the columns name, organisation and fax";
        return read;
    }
    for (std::size_t r = 1; r < rows->size(); ++r) {
        const Row& row = (*rows)[r];
        const auto cell = [&row](std::size_t column) {
            return column < row.size() ? TrimBlanks(ToUtf8(row[column], {})) : std::string();
        };
        Contact contact{cell(name), cell(organisation), {}};
        if (const std::string number = cell(fax); !number.empty())
            contact.numbers.push_back({number, true});
        if (!contact.name.empty() || !contact.organisation.empty() || !contact.numbers.empty())
            read.contacts.push_back(std::move(contact));
    }
    return read;
}

} // namespace qp::contacts
