#pragma once

#include <map>
#include <optional>
#include <string>

namespace qp::faxd {

// Message box numbers and their PINs. The file holds one box per line, "NUMBER PIN", separated by
// blanks; blank lines and lines starting with "#" are skipped.
class Accounts {
public:
    // Nothing, with `error` set, when the file can't be read or a line is malformed.
    static std::optional<Accounts> Load(const std::string& path, std::string& error);
    static std::optional<Accounts> Parse(const std::string& text, std::string& error);

    bool Accepts(const std::string& box, const std::string& pin) const;
    bool Has(const std::string& box) const { return m_pins.count(box) != 0; }
    std::size_t Size() const { return m_pins.size(); }

private:
    std::map<std::string, std::string> m_pins;
};

} // namespace qp::faxd
