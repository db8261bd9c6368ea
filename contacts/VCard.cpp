#include "contacts/VCard.h"

#include "contacts/VCardValue.h"
#include "platform/Utf8Text.h"

#include <optional>
#include <utility>

namespace qp::contacts {
namespace {

constexpr std::size_t kFoldAt = 75;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = Upper(c);
    return upper;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return Upper(a) == Upper(b);
}

std::string Trimmed(std::string_view text) {
    const auto blank = [](char c) { return IsBlank(c) || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

// The physical lines of a text, one at a time (a file of empty lines is many). Lines end at CRLF,
// LF or a lone CR: files that passed through other systems have all three.
class PhysicalLines {
public:
    explicit PhysicalLines(std::string_view text) : m_text(text) { Advance(); }

    bool AtEnd() const { return m_atEnd; }
    // The line at hand and its number, counted from 1.
    std::string_view Peek() const { return m_line; }
    std::size_t Number() const { return m_number; }
    std::string_view Take() {
        const std::string_view line = m_line;
        Advance();
        return line;
    }

private:
    void Advance() {
        if (m_next >= m_text.size()) {
            m_atEnd = true;
            m_line = {};
            return;
        }
        const std::size_t end = m_text.find_first_of("\r\n", m_next);
        if (end == std::string_view::npos) {
            m_line = m_text.substr(m_next);
            m_next = m_text.size();
        } else {
            m_line = m_text.substr(m_next, end - m_next);
            const bool crlf =
                m_text[end] == '\r' && end + 1 < m_text.size() && m_text[end + 1] == '\n';
            m_next = end + (crlf ? 2 : 1);
        }
        ++m_number;
    }

    std::string_view m_text;
    std::size_t m_next = 0;
    std::string_view m_line;
    std::size_t m_number = 0;
    bool m_atEnd = false;
};

// The parts of text split at `separator` where it is not inside double quotes.
std::vector<std::string_view> SplitUnquoted(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == separator && !quoted) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

struct Property {
    std::string name; // upper case, without its group ("item1.TEL" is TEL)
    std::vector<std::pair<std::string, std::string>> params; // name upper case, one value each
    std::string value;

    bool Has(std::string_view param, std::string_view value) const {
        for (const auto& [name, given] : params) {
            if (name == param && SameNoCase(given, value))
                return true;
        }
        return false;
    }
    std::string Param(std::string_view param) const {
        for (const auto& [name, given] : params) {
            if (name == param)
                return given;
        }
        return {};
    }
    bool QuotedPrintable() const { return Has("ENCODING", "QUOTED-PRINTABLE"); }
    bool Base64() const { return Has("ENCODING", "B") || Has("ENCODING", "BASE64"); }
};

// The 2.1 form "TEL;FAX;WORK" names parameter values without their names.
std::string BareParameterName(std::string_view value) {
    const std::string upper = Upper(value);
    if (upper == "QUOTED-PRINTABLE" || upper == "BASE64" || upper == "8BIT" || upper == "7BIT")
        return "ENCODING";
    return "TYPE";
}

// Where the name and parameters end: the first colon outside double quotes.
std::size_t ValueStart(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i;
    }
    return std::string_view::npos;
}

std::optional<Property> ParseProperty(std::string_view line) {
    const std::size_t colon = ValueStart(line);
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    Property property;
    const std::vector<std::string_view> head = SplitUnquoted(line.substr(0, colon), ';');
    std::string_view name = head.front();
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos)
        name.remove_prefix(dot + 1);
    property.name = Upper(Trimmed(name));
    for (std::size_t i = 1; i < head.size(); ++i) {
        const std::size_t equals = head[i].find('=');
        const std::string paramName = equals == std::string_view::npos
                                          ? BareParameterName(Trimmed(head[i]))
                                          : Upper(Trimmed(head[i].substr(0, equals)));
        std::string values(equals == std::string_view::npos ? head[i] : head[i].substr(equals + 1));
        // TYPE=fax,voice and TYPE="fax,voice" are the same list.
        std::erase(values, '"');
        for (std::string_view value : SplitUnquoted(values, ','))
            property.params.emplace_back(paramName, Trimmed(value));
    }
    property.value = std::string(line.substr(colon + 1));
    return property;
}

// One card's properties as they come, made into a contact at its end.
class CardBuilder {
public:
    void Add(const Property& property) {
        if (property.Base64())
            return;
        std::string raw =
            property.QuotedPrintable() ? DecodeQuotedPrintable(property.value) : property.value;
        raw = ToUtf8(raw, property.Param("CHARSET"));
        if (property.name == "FN" && !m_formattedName)
            m_formattedName = Trimmed(UnescapeText(raw));
        else if (property.name == "N" && !m_structuredName)
            m_structuredName = NameFromComponents(SplitComponents(raw));
        else if (property.name == "ORG" && !m_organisation)
            m_organisation = Joined(SplitComponents(raw), ", ");
        else if (property.name == "TEL")
            AddNumber(property, raw);
    }

    Contact Finish() {
        Contact contact;
        contact.name = m_formattedName && !m_formattedName->empty()
                           ? *m_formattedName
                           : m_structuredName.value_or(std::string());
        contact.organisation = m_organisation.value_or(std::string());
        contact.numbers = std::move(m_numbers);
        OrderNumbers(contact);
        return contact;
    }

private:
    static std::string Joined(const std::vector<std::string>& parts, std::string_view between) {
        std::string joined;
        for (const std::string& part : parts) {
            const std::string trimmed = Trimmed(part);
            if (trimmed.empty())
                continue;
            if (!joined.empty())
                joined += between;
            joined += trimmed;
        }
        return joined;
    }

    // N is family;given;additional;prefixes;suffixes, each a comma list: read in the order of
    // speech.
    static std::string NameFromComponents(std::vector<std::string> parts) {
        parts.resize(5);
        std::vector<std::string> spoken;
        for (std::size_t index : {3u, 1u, 2u, 0u, 4u}) {
            std::string part = parts[index];
            for (char& c : part)
                c = c == ',' ? ' ' : c;
            spoken.push_back(part);
        }
        return Joined(spoken, " ");
    }

    void AddNumber(const Property& property, const std::string& raw) {
        std::string number = Trimmed(UnescapeText(raw));
        // 4.0 writers give numbers as tel: URIs ("tel:+1-555-555-1234;ext=5").
        if (property.Has("VALUE", "uri") || SameNoCase(number.substr(0, 4), "tel:")) {
            while (SameNoCase(number.substr(0, 4), "tel:"))
                number = Trimmed(number.substr(4));
            number = Trimmed(number.substr(0, number.find(';')));
        }
        if (!number.empty())
            m_numbers.push_back({number, property.Has("TYPE", "fax")});
    }

    std::optional<std::string> m_formattedName;
    std::optional<std::string> m_structuredName;
    std::optional<std::string> m_organisation;
    std::vector<PhoneNumber> m_numbers;
};

// Puts together the physical lines of one property: folded lines (a blank in front) and
// quoted-printable soft line breaks (a "=" at the end). False when it grew over the limit.
bool LogicalLine(PhysicalLines& lines, std::string& line) {
    line.assign(lines.Take());
    bool checkedQuotedPrintable = false;
    bool quotedPrintable = false;
    for (;;) {
        while (!lines.AtEnd() && !lines.Peek().empty() && IsBlank(lines.Peek().front()) &&
               line.size() <= kMaxVCardLineLength)
            line.append(lines.Take().substr(1));
        if (line.size() > kMaxVCardLineLength)
            return false;
        if (!checkedQuotedPrintable) {
            const std::optional<Property> property = ParseProperty(line);
            quotedPrintable = property && property->QuotedPrintable();
            checkedQuotedPrintable = true;
        }
        if (!quotedPrintable || line.empty() || line.back() != '=' || lines.AtEnd())
            return true;
        line.pop_back();
        line.append(lines.Take());
    }
}

void AppendFolded(std::string& out, std::string_view line) {
    std::size_t room = kFoldAt;
    while (line.size() > room) {
        // Never inside a character: continuation bytes stay with their lead byte.
        const std::size_t cut = CharacterStart(line, room);
        out.append(line.substr(0, cut));
        out += "\r\n ";
        line.remove_prefix(cut);
        room = kFoldAt - 1;
    }
    out.append(line);
    out += "\r\n";
}

std::string LineNumbered(std::size_t number, const char* what) {
    return "line " + std::to_string(number) + " " + what;
}

} // namespace

VCardRead ReadVCards(std::string_view text) {
    VCardRead read;
    if (text.size() > kMaxVCardFileSize) {
        read.problem = "it is larger than 16 MB";
        return read;
    }
    if (const std::optional<std::string> utf8 = Utf16AsUtf8(text))
        return ReadVCards(*utf8);
    if (text.find('\0') != std::string_view::npos) {
        read.problem = "it holds a NUL byte";
        return read;
    }
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);

    PhysicalLines lines(text);
    int depth = 0; // an embedded card (a 2.1 AGENT) is passed over whole
    CardBuilder card;
    std::string line;
    while (!lines.AtEnd()) {
        const std::size_t first = lines.Number();
        if (!LogicalLine(lines, line)) {
            read.problem = LineNumbered(first, "is too long");
            break;
        }
        if (Trimmed(line).empty())
            continue;
        const std::optional<Property> property = ParseProperty(line);
        if (!property) {
            read.problem = LineNumbered(first, "is not a vCard property");
            break;
        }
        const bool aboutCard = SameNoCase(Trimmed(property->value), "VCARD");
        if (property->name == "BEGIN" && aboutCard) {
            if (depth++ == 0)
                card = CardBuilder();
        } else if (depth == 0) {
            read.problem = LineNumbered(first, "is outside a vCard");
            break;
        } else if (property->name == "END" && aboutCard) {
            if (--depth == 0)
                read.contacts.push_back(card.Finish());
        } else if (depth == 1) {
            card.Add(*property);
        }
        // A 2.1 base64 value may go on over lines of its own, up to an empty line.
        if (property->Base64()) {
            while (!lines.AtEnd() && !lines.Peek().empty() &&
                   lines.Peek().find(':') == std::string_view::npos)
                lines.Take();
        }
    }
    if (read.problem.empty() && depth > 0)
        read.problem = "its last vCard has no end";
    if (!read.problem.empty())
        read.contacts.clear();
    return read;
}

std::string WriteVCards(const std::vector<Contact>& contacts) {
    std::string out;
    for (const Contact& contact : contacts) {
        out += "BEGIN:VCARD\r\nVERSION:4.0\r\n";
        AppendFolded(out, "FN:" + EscapeText(contact.name));
        if (!contact.organisation.empty())
            AppendFolded(out, "ORG:" + EscapeText(contact.organisation));
        for (const PhoneNumber& number : contact.numbers)
            AppendFolded(out, (number.fax ? "TEL;TYPE=fax:" : "TEL;TYPE=voice:") +
                                  EscapeText(number.number));
        out += "END:VCARD\r\n";
    }
    return out;
}

} // namespace qp::contacts
