#pragma once

#include <map>
#include <optional>
#include <string>

namespace qp {
class Profile;
}

namespace qp::settings {

// Every value lives in this one section of the per-user store.
inline constexpr const char* kSection = "Quillpost";

enum class Kind { Text, Number };

// One stored value: its key in the section, its type and what it is when the file has none.
struct Setting {
    const char* key;
    Kind kind = Kind::Text;
    const char* defaultText = "";
    int defaultNumber = 0;
};

// The service's fax server, used until the user enters another.
inline constexpr const char* kDefaultFaxHost = "fax.tamarindworks.net";
inline constexpr int kDefaultFaxPort = 7541;
inline constexpr const char* kDefaultResolution = "fine";
inline constexpr const char* kDefaultLegal = "false";

// The account.
inline constexpr Setting kLogin{"ln"};
inline constexpr Setting kPin{"ps"};
// "true" while the desktop's keyring holds the PIN, "false" once it lives in "ps" or nowhere: a
// session that cannot reach the keyring learns from it that there is a PIN all the same.
inline constexpr Setting kPinInKeyring{"pinkeyring"};
inline constexpr Setting kHost{"host", Kind::Text, kDefaultFaxHost};
// The port the program connects to; the configuration dialogs write "p" beside the host and
// never change "port", which only a hand edit sets.
inline constexpr Setting kPort{"port", Kind::Number, "", kDefaultFaxPort};
inline constexpr Setting kPortWritten{"p", Kind::Number, "", kDefaultFaxPort};
inline constexpr Setting kNotifyEmail{"notifyemail"};
// The send choices kept between faxes.
inline constexpr Setting kResolution{"res", Kind::Text, kDefaultResolution};
inline constexpr Setting kLegal{"legal", Kind::Text, kDefaultLegal};
// The preview program and its arguments.
inline constexpr Setting kTiffViewer{"tiffviewer"};
inline constexpr Setting kTiffViewerParams{"tiffviewerparams"};
// The cover sheet's fields.
inline constexpr Setting kCoverTo{"cvrto"};
inline constexpr Setting kCoverRe{"cvrre"};
inline constexpr Setting kCoverFrom{"cvrfrom"};
inline constexpr Setting kCoverFax{"cvrfax"};
inline constexpr Setting kCoverPhone{"cvrphn"};
inline constexpr Setting kCoverNote{"cvrnote"};
inline constexpr Setting kCoverDisclosure{"cvrdisc"};

inline constexpr Setting kAll[] = {kLogin,
                                   kPin,
                                   kHost,
                                   kPort,
                                   kPortWritten,
                                   kNotifyEmail,
                                   kResolution,
                                   kLegal,
                                   kTiffViewer,
                                   kTiffViewerParams,
                                   kCoverTo,
                                   kCoverRe,
                                   kCoverFrom,
                                   kCoverFax,
                                   kCoverPhone,
                                   kCoverNote,
                                   kCoverDisclosure,
                                   kPinInKeyring};

// The section as one read of the file found it; a value it lacks is the setting's default, and a
// number that does not read as one is the default too.
class Snapshot {
public:
    explicit Snapshot(std::map<std::string, std::string> values) : m_values(std::move(values)) {}

    bool Has(const Setting& setting) const { return m_values.count(setting.key) != 0; }
    std::string Text(const Setting& setting) const;
    int Number(const Setting& setting) const;

private:
    std::map<std::string, std::string> m_values;
};

Snapshot ReadAll(const Profile& profile);

// One value, in a read of its own.
std::string ReadText(const Profile& profile, const Setting& setting);
int ReadNumber(const Profile& profile, const Setting& setting);

// A missing value (std::nullopt) deletes the entry.
bool Write(const Profile& profile, const Setting& setting, const std::optional<std::string>& value);

} // namespace qp::settings
