#include "fax/SendSettings.h"

#include "base/Settings.h"

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
    const Snapshot stored = ReadAll(profile);
    choices.resolution = ResolutionFromSetting(stored.Text(kResolution));
    choices.legal = stored.Text(kLegal) == "true";
    return choices;
}

void SaveSendChoices(const Profile& profile, const SendChoices& choices) {
    using namespace settings;
    // One write of the file: Send makes it on the GUI thread.
    profile.WriteStrings(kSection, {{kResolution.key, SettingForResolution(choices.resolution)},
                                    {kLegal.key, choices.legal ? "true" : "false"}});
}

void ForgetPerFaxCoverFields(const Profile& profile) {
    using namespace settings;
    for (const Setting& entry : {kCoverTo, kCoverRe, kCoverNote})
        Write(profile, entry, std::nullopt);
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
