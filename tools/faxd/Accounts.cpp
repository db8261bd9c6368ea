#include "tools/faxd/Accounts.h"

#include "platform/TextLines.h"

#include <fstream>
#include <sstream>

namespace qp::faxd {

std::optional<Accounts> Accounts::Load(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read accounts file " + path;
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return Parse(text.str(), error);
}

std::optional<Accounts> Accounts::Parse(const std::string& text, std::string& error) {
    Accounts accounts;
    int number = 0;
    for (const std::string_view line : SplitAtLineFeeds(text)) {
        ++number;
        std::istringstream words{std::string(line)};
        std::string box;
        std::string pin;
        std::string extra;
        if (!(words >> box) || box[0] == '#')
            continue;
        if (!(words >> pin) || (words >> extra)) {
            error = "accounts line " + std::to_string(number) + ": expected \"NUMBER PIN\"";
            return std::nullopt;
        }
        accounts.m_pins[box] = pin;
    }
    return accounts;
}

bool Accounts::Accepts(const std::string& box, const std::string& pin) const {
    const auto found = m_pins.find(box);
    return found != m_pins.end() && found->second == pin;
}

} // namespace qp::faxd
