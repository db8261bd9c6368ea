#pragma once

#include <optional>
#include <string>

namespace qp {

enum class StartMode { Bootstrap, Update, Configure, Log, Contacts, Cover, Tray };

inline constexpr const char* kSwitchBootstrap = "-bootstrap";
inline constexpr const char* kSwitchUpdate = "-update";
inline constexpr const char* kSwitchConfigure = "-configure";
inline constexpr const char* kSwitchLog = "-log";
inline constexpr const char* kSwitchContacts = "-contacts";
inline constexpr const char* kSwitchCover = "-cover";
inline constexpr const char* kHostPrefix = "-h:";

// The arguments after the program name, joined by single blanks: the text the switches are read
// from.
std::string JoinArguments(int argc, const char* const* argv);

// Whether the switch text occurs anywhere in the command line, in its exact letter case; a longer
// word that contains it counts.
bool HasSwitch(const std::string& commandLine, const char* switchText);

// Bootstrap wins over update, update over configure, configure over the fax log, the fax log over
// the contacts, the contacts over a cover-only fax; none of them means tray mode.
StartMode ChooseStartMode(const std::string& commandLine);

// The update host: everything from three characters past the first "-h:" to the end of the line,
// trailing blanks included. Without "-h:" the position rule starts at the third character. Nothing
// when that position lies beyond the end of the line.
std::optional<std::string> HostFromCommandLine(const std::string& commandLine);

// What a start in `mode` asks of the user's client when one already runs ("show" for tray mode);
// nothing for the modes that never hand over (bootstrap, update).
std::optional<std::string> ChannelCommand(StartMode mode);

} // namespace qp
