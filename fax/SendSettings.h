#pragma once

#include "platform/Profile.h"

#include <string>

namespace qp {

enum class Resolution { Normal, Fine, High };

// What the user picks for one fax besides the number: kept in the settings between faxes.
struct SendChoices {
    Resolution resolution = Resolution::Fine;
    bool legal = false;

    bool operator==(const SendChoices&) const = default;
};

// Ghostscript's resolution and page size in pixels for one set of choices.
struct ConversionParams {
    int xDpi = 0;
    int yDpi = 0;
    int widthPx = 0;
    int heightPx = 0;
    bool operator==(const ConversionParams&) const = default;
};

// Stored values compare exactly: only "normal" and "high" pick those; anything else is Fine.
Resolution ResolutionFromSetting(const std::string& stored);
const char* SettingForResolution(Resolution resolution);

// "res" (default "fine") and "legal" (only exactly "true" ticks it).
SendChoices LoadSendChoices(const Profile& profile);
// Writes "res" and "legal", as Send and Cancel do.
void SaveSendChoices(const Profile& profile, const SendChoices& choices);

// The cover sheet's To, Re and Notes of a fax live in its job folder; values an earlier release
// kept in the settings, where every fax read them, are removed when a send starts and when it
// ends.
void ForgetPerFaxCoverFields(const Profile& profile);

// Normal, then High, otherwise Fine; legal size only makes the page longer.
ConversionParams ChooseConversionParams(Resolution resolution, bool legal);

} // namespace qp
