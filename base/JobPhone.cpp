#include "base/JobPhone.h"

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp {

namespace {

constexpr std::string_view kPhoneOptionName = "phone";
constexpr std::string_view kCustomPrefix = "Custom.";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// One value as CUPS writes it: up to the first blank outside quotes, quotes and the escaping
// backslashes taken away. A collection's braces stay, with their blanks.
std::string ReadValue(std::string_view options, std::size_t& at) {
    std::string value;
    int depth = 0;
    while (at < options.size() && (depth > 0 || !IsBlank(options[at]))) {
        const char c = options[at++];
        if (c == '\\' && at < options.size()) {
            value += options[at++];
        } else if (c == '\'' || c == '"') {
            while (at < options.size() && options[at] != c) {
                if (options[at] == '\\' && at + 1 < options.size())
                    ++at;
                value += options[at++];
            }
            if (at < options.size())
                ++at;
        } else {
            if (c == '{')
                ++depth;
            else if (c == '}' && depth > 0)
                --depth;
            value += c;
        }
    }
    return value;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<std::string> PhoneOption(std::string_view options) {
    std::optional<std::string> phone;
    std::size_t at = 0;
    while (at < options.size()) {
        while (at < options.size() && IsBlank(options[at]))
            ++at;
        const std::size_t nameStart = at;
        while (at < options.size() && options[at] != '=' && !IsBlank(options[at]))
            ++at;
        const std::string_view name = options.substr(nameStart, at - nameStart);
        if (at >= options.size() || options[at] != '=')
            continue; // a switch without a value
        ++at;
        std::string value = ReadValue(options, at);
        if (SameLetters(name, kPhoneOptionName))
            phone = std::move(value);
    }
    return phone;
}

std::string CleanPhone(std::string_view value) {
    if (value.size() > kCustomPrefix.size() &&
        SameLetters(value.substr(0, kCustomPrefix.size()), kCustomPrefix))
        value.remove_prefix(kCustomPrefix.size());
    value = Trimmed(value);
    if (value.empty() || value.size() > kMaxJobPhoneLength)
        return {};
    bool digit = false;
    for (char c : value) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c != '+' && c != ' ' && c != '.' && c != '-' && c != '(' && c != ')')
            return {};
    }
    return digit ? std::string(value) : std::string();
}

std::string JobPhoneLine(const std::string& cleanPhone, std::string_view documentStart) {
    const bool startsLikeOurs = documentStart.substr(0, kJobPhoneMarker.size()) == kJobPhoneMarker;
    // Only PostScript takes a comment line before its first one: a PDF (a raw job) with a line in
    // front of "%PDF-" would no longer read as one, so its number is not kept.
    const bool postScript = documentStart.substr(0, 2) == "%!" || startsLikeOurs;
    if (!cleanPhone.empty() && postScript)
        return std::string(kJobPhoneMarker) + " " + cleanPhone + "\n";
    if (startsLikeOurs)
        return std::string(kJobPhoneMarker) + "\n";
    return {};
}

std::string PhoneOfJobStart(std::string_view start) {
    if (start.substr(0, kJobPhoneMarker.size()) != kJobPhoneMarker)
        return {};
    start.remove_prefix(kJobPhoneMarker.size());
    const std::size_t end = start.find('\n');
    // A line too long to be the backend's is nobody's number.
    if (end == std::string_view::npos)
        return {};
    std::string_view line = start.substr(0, end);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return CleanPhone(line);
}

std::string PhoneOfJobFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return {};
    }
    if (fd < 0)
        return {};
    // The marker, a blank, the longest number and the line's end.
    char start[kJobPhoneMarker.size() + kMaxJobPhoneLength + 3];
    std::size_t have = 0;
    while (have < sizeof(start)) {
        const ssize_t got = ::read(fd, start + have, sizeof(start) - have);
        if (got <= 0)
            break;
        have += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return PhoneOfJobStart(std::string_view(start, have));
}

} // namespace qp
