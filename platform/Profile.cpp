#include "platform/Profile.h"

#include "platform/FileOps.h"
#include "platform/UserFolders.h"

#include <QFile>
#include <QSettings>
#include <QString>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qp {
namespace {

constexpr const char* kOrganisation = "Tamarind Works";
constexpr const char* kApplication = "Quillpost";

// Creates the folder and an empty, owner-only file before QSettings touches it, so the PIN is never
// readable by others, not even for a moment. Only a regular file will do: opening a FIFO or a
// device put in its place would wait for ever, so the open does not wait and anything else fails.
bool EnsurePrivateFile(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0)
        return false;
    struct stat status {};
    const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    if (regular)
        ::fchmod(fd, 0600);
    ::close(fd);
    return regular;
}

bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The text after "entry=" in the section, as it stands in the file.
std::optional<std::string> RawValue(const std::string& path, const std::string& section,
                                    const std::string& entry) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray header = "[" + QByteArray::fromStdString(section) + "]";
    bool inSection = false;
    std::optional<std::string> found;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inSection = line == header;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (inSection && equals > 0 && line.left(equals).trimmed() == entry.c_str())
            found = line.mid(equals + 1).trimmed().toStdString();
    }
    return found;
}

QString Key(const std::string& section, const std::string& entry) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(entry);
}

QVariant ReadValue(const std::string& path, const QSettings& settings, const std::string& section,
                   const std::string& entry) {
    QVariant value = settings.value(Key(section, entry));
    // The program stores single strings, which QSettings quotes when they hold a comma; a value
    // typed into the file by hand without quotes would come back split into a list.
    if (value.typeId() == QMetaType::QStringList) {
        if (const std::optional<std::string> raw = RawValue(path, section, entry))
            value = QString::fromStdString(*raw);
    }
    return value;
}

QVariant ReadValue(const std::string& path, const std::string& section, const std::string& entry) {
    EnsurePrivateFile(path);
    if (!IsRegularFile(path))
        return {};
    const QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    return ReadValue(path, settings, section, entry);
}

using Values = std::vector<std::pair<std::string, std::optional<QVariant>>>;

// Each write of the file is synced to disk, which can take tens of milliseconds: values that
// belong together go in one write.
bool WriteValues(const std::string& path, const std::string& section, const Values& values) {
    if (!EnsurePrivateFile(path))
        return false;
    QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    for (const auto& [entry, value] : values) {
        if (value)
            settings.setValue(Key(section, entry), *value);
        else
            settings.remove(Key(section, entry));
    }
    settings.sync();
    ::chmod(path.c_str(), 0600);
    // QSettings replaces the file by a rename and leaves its folder unsynced: a crash could bring
    // back the settings from before.
    return settings.status() == QSettings::NoError && SyncFileAndFolder(path);
}

} // namespace

std::string DefaultProfilePath() {
    // Never a shared folder such as /tmp, as the file holds the PIN: without a home the name lies
    // at the root, where only root could create it.
    const std::string base = XdgBaseFolder("XDG_CONFIG_HOME", ".config").value_or("/.config");
    return base + "/" + kOrganisation + "/" + kApplication + ".conf";
}

std::string Profile::FilePath() const {
    return m_filePath.empty() ? DefaultProfilePath() : m_filePath;
}

std::string Profile::GetString(const std::string& section, const std::string& entry,
                               const std::string& defaultValue) const {
    const QVariant value = ReadValue(FilePath(), section, entry);
    if (!value.isValid())
        return defaultValue;
    return value.toString().toStdString();
}

int Profile::GetInt(const std::string& section, const std::string& entry, int defaultValue) const {
    const QVariant value = ReadValue(FilePath(), section, entry);
    if (!value.isValid())
        return defaultValue;
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : defaultValue;
}

std::map<std::string, std::string> Profile::GetSection(const std::string& section) const {
    const std::string path = FilePath();
    EnsurePrivateFile(path);
    std::map<std::string, std::string> values;
    if (!IsRegularFile(path))
        return values;
    QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    settings.beginGroup(QString::fromStdString(section));
    const QStringList entries = settings.childKeys();
    settings.endGroup();
    for (const QString& entry : entries)
        values[entry.toStdString()] =
            ReadValue(path, settings, section, entry.toStdString()).toString().toStdString();
    return values;
}

bool Profile::WriteString(const std::string& section, const std::string& entry,
                          const std::optional<std::string>& value) const {
    if (!value)
        return WriteValues(FilePath(), section, {{entry, std::nullopt}});
    return WriteValues(FilePath(), section, {{entry, QVariant(QString::fromStdString(*value))}});
}

bool Profile::WriteStrings(const std::string& section,
                           const std::vector<std::pair<std::string, std::string>>& values) const {
    Values written;
    for (const auto& [entry, value] : values)
        written.emplace_back(entry, QVariant(QString::fromStdString(value)));
    return WriteValues(FilePath(), section, written);
}

bool Profile::WriteInt(const std::string& section, const std::string& entry, int value) const {
    return WriteValues(FilePath(), section, {{entry, QVariant(value)}});
}

} // namespace qp
