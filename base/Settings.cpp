#include "base/Settings.h"

#include "platform/Profile.h"

#include <QString>

namespace qp::settings {

std::string Snapshot::Text(const Setting& setting) const {
    const auto found = m_values.find(setting.key);
    return found == m_values.end() ? setting.defaultText : found->second;
}

int Snapshot::Number(const Setting& setting) const {
    const auto found = m_values.find(setting.key);
    if (found == m_values.end())
        return setting.defaultNumber;
    // Read as a single value of the file has always been read as a number.
    bool ok = false;
    const int number = QString::fromStdString(found->second).toInt(&ok);
    return ok ? number : setting.defaultNumber;
}

Snapshot ReadAll(const Profile& profile) {
    return Snapshot(profile.GetSection(kSection));
}

std::string ReadText(const Profile& profile, const Setting& setting) {
    return profile.GetString(kSection, setting.key, setting.defaultText);
}

int ReadNumber(const Profile& profile, const Setting& setting) {
    return profile.GetInt(kSection, setting.key, setting.defaultNumber);
}

bool Write(const Profile& profile, const Setting& setting,
           const std::optional<std::string>& value) {
    return profile.WriteString(kSection, setting.key, value);
}

} // namespace qp::settings
