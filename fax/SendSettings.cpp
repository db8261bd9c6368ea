#include "fax/SendSettings.h"

#include "app/Settings.h"

namespace qp {

Resolution ResolutionFromSetting(const std::string& stored) {
    if (stored == "normal")
        return Resolution::Normal;
    if (stored == "high")
        return Resolution::High;
    return Resolution::Fine;
}

const char* SettingForResolution(Resolution resolution) {
    switch (resolution) {
    case Resolution::Normal:
        return "normal";
    case Resolution::High:
        return "high";
    case Resolution::Fine:
        break;
    }
    return "fine";
}

SendChoices LoadSendChoices(const Profile& profile) {
    using namespace settings;
    SendChoices choices;
    choices.resolution =
        ResolutionFromSetting(profile.GetString(kSection, kResolution, kDefaultResolution));
    choices.legal = profile.GetString(kSection, kLegal, kDefaultLegal) == "true";
    return choices;
}

void SaveSendChoices(const Profile& profile, const SendChoices& choices) {
    using namespace settings;
    profile.WriteString(kSection, kResolution,
                        std::string(SettingForResolution(choices.resolution)));
    profile.WriteString(kSection, kLegal, std::string(choices.legal ? "true" : "false"));
}

void SetCoverRecipient(const Profile& profile, const std::string& to) {
    profile.WriteString(settings::kSection, settings::kCoverTo, to);
}

std::string CoverRecipient(const Profile& profile) {
    return profile.GetString(settings::kSection, settings::kCoverTo, "");
}

void ForgetPerFaxCoverFields(const Profile& profile) {
    using namespace settings;
    for (const char* entry : {kCoverTo, kCoverRe, kCoverNote})
        profile.WriteString(kSection, entry, std::nullopt);
}

ConversionParams ChooseConversionParams(Resolution resolution, bool legal) {
    switch (resolution) {
    case Resolution::Normal:
        return {204, 98, 1728, legal ? 1372 : 1078};
    case Resolution::High:
        return {300, 300, 2592, legal ? 4200 : 3300};
    case Resolution::Fine:
        break;
    }
    return {204, 196, 1728, legal ? 2760 : 2172};
}

} // namespace qp
