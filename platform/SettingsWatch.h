#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFileSystemWatcher;
class QTimer;

namespace qp {

// Watches some entries of one section of a settings file that any process may change: this
// program's own dialogs, a second copy of it, an editor. The file is written whole to a new file
// that then replaces it, so the watch is on its folder as much as on the file, and both are taken
// up again after each change. A burst of changes is read once, after it has calmed down.
class SettingsWatch final {
public:
    // `changed` runs on this object's thread when, after a burst, one of `keys` of `section`
    // differs from what it was before it (a missing entry differs from an empty one).
    SettingsWatch(std::string filePath, std::string section, std::vector<std::string> keys,
                  std::function<void()> changed,
                  std::chrono::milliseconds calm = std::chrono::milliseconds(500));
    ~SettingsWatch();
    SettingsWatch(const SettingsWatch&) = delete;
    SettingsWatch& operator=(const SettingsWatch&) = delete;

    // How many bursts have been read so far: for those who watch the watcher.
    std::size_t Reads() const { return m_reads; }

private:
    using Values = std::map<std::string, std::optional<std::string>>;
    Values Read() const;
    void Rearm();
    void Calmed();

    std::string m_filePath;
    std::string m_folder;
    std::string m_section;
    std::vector<std::string> m_keys;
    std::function<void()> m_changed;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    std::unique_ptr<QTimer> m_calm;
    Values m_values;
    std::size_t m_reads = 0;
};

} // namespace qp
