#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qp {

// The per-user settings store: ~/.config/Tamarind Works/Quillpost.conf (XDG_CONFIG_HOME honoured),
// an INI file that QSettings reads and writes. It holds the PIN, so it is kept at mode 0600.
// Every access opens and closes the file, so threads share no state here.
class Profile {
public:
    // The location is read from the environment at every access.
    Profile() = default;
    // A fixed file, for tools and tests that keep their own store.
    explicit Profile(std::string filePath) : m_filePath(std::move(filePath)) {}

    std::string GetString(const std::string& section, const std::string& entry,
                          const std::string& defaultValue) const;
    int GetInt(const std::string& section, const std::string& entry, int defaultValue) const;
    // Every entry of the section as text, in one read of the file.
    std::map<std::string, std::string> GetSection(const std::string& section) const;
    // A missing value (std::nullopt) deletes the entry; an empty string is stored as empty.
    bool WriteString(const std::string& section, const std::string& entry,
                     const std::optional<std::string>& value) const;
    bool WriteInt(const std::string& section, const std::string& entry, int value) const;
    // Several strings of one section in a single write of the file.
    bool WriteStrings(const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& values) const;

    std::string FilePath() const;

private:
    std::string m_filePath;
};

// Where the per-user settings file lies for the current environment.
std::string DefaultProfilePath();

} // namespace qp
