#include "platform/SettingsWatch.h"

#include "platform/Profile.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStringList>
#include <QTimer>

namespace qp {
namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

SettingsWatch::SettingsWatch(std::string filePath, std::string section,
                             std::vector<std::string> keys, std::function<void()> changed,
                             std::chrono::milliseconds calm)
    : m_filePath(std::move(filePath)), m_folder(FolderOf(m_filePath)),
      m_section(std::move(section)), m_keys(std::move(keys)), m_changed(std::move(changed)),
      m_watcher(std::make_unique<QFileSystemWatcher>()), m_calm(std::make_unique<QTimer>()) {
    m_calm->setSingleShot(true);
    m_calm->setInterval(calm);
    QObject::connect(m_calm.get(), &QTimer::timeout, m_calm.get(), [this] { Calmed(); });
    // Each event starts the wait again, so a burst is read once after its last change.
    auto touched = [this] {
        Rearm();
        m_calm->start();
    };
    QObject::connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, m_calm.get(), touched);
    QObject::connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, m_calm.get(), touched);
    m_values = Read();
    Rearm();
}

SettingsWatch::~SettingsWatch() = default;

SettingsWatch::Values SettingsWatch::Read() const {
    const std::map<std::string, std::string> section = Profile(m_filePath).GetSection(m_section);
    Values values;
    for (const std::string& key : m_keys) {
        const auto found = section.find(key);
        values[key] = found == section.end() ? std::nullopt : std::optional(found->second);
    }
    return values;
}

void SettingsWatch::Rearm() {
    // A replaced file is a new file: a watch still held may be on the one it replaced.
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    // The first read made the folder; should it be removed, the watch goes with it.
    const QString folder = QString::fromStdString(m_folder);
    if (m_watcher->directories().isEmpty() && QFileInfo(folder).isDir())
        m_watcher->addPath(folder);
    const QString file = QString::fromStdString(m_filePath);
    if (QFileInfo(file).isFile())
        m_watcher->addPath(file);
}

void SettingsWatch::Calmed() {
    ++m_reads;
    Values now = Read();
    if (now == m_values)
        return;
    m_values = std::move(now);
    if (m_changed)
        m_changed();
}

} // namespace qp
