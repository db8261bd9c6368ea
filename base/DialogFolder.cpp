#include "base/DialogFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace qp {

namespace {

bool IsFolder(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

} // namespace

std::string DialogFolder::StartFolder() const {
    const QString remembered = QString::fromStdString(settings::ReadText(m_profile, m_remembered));
    // Only a full path: a relative one would be taken from the program's working folder.
    if (QDir::isAbsolutePath(remembered) && IsFolder(remembered))
        return remembered.toStdString();
    // The desktop's user-dirs.dirs names these folders; without it they are ~/Pictures and
    // ~/Documents, which a fresh account may not have yet.
    const QString own = QStandardPaths::writableLocation(m_firstFolder == UserFiles::Pictures
                                                             ? QStandardPaths::PicturesLocation
                                                             : QStandardPaths::DocumentsLocation);
    if (IsFolder(own))
        return own.toStdString();
    return QDir::homePath().toStdString();
}

void DialogFolder::Remember(const std::string& chosenFile) const {
    const QString folder = QFileInfo(QString::fromStdString(chosenFile)).absolutePath();
    settings::Write(m_profile, m_remembered, folder.toStdString());
}

} // namespace qp
