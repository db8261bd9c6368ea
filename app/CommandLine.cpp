#include "app/CommandLine.h"

namespace qp {

std::string JoinArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return line;
}

bool HasSwitch(const std::string& commandLine, const char* switchText) {
    return commandLine.find(switchText) != std::string::npos;
}

StartMode ChooseStartMode(const std::string& commandLine) {
    if (HasSwitch(commandLine, kSwitchBootstrap))
        return StartMode::Bootstrap;
    if (HasSwitch(commandLine, kSwitchUpdate))
        return StartMode::Update;
    if (HasSwitch(commandLine, kSwitchConfigure))
        return StartMode::Configure;
    if (HasSwitch(commandLine, kSwitchLog))
        return StartMode::Log;
    if (HasSwitch(commandLine, kSwitchContacts))
        return StartMode::Contacts;
    if (HasSwitch(commandLine, kSwitchCover))
        return StartMode::Cover;
    return StartMode::Tray;
}

std::optional<std::string> HostFromCommandLine(const std::string& commandLine) {
    // "Not found" counts as position -1, so the host then starts at the third character.
    const std::size_t found = commandLine.find(kHostPrefix);
    const std::size_t start = found == std::string::npos ? 2 : found + 3;
    if (start > commandLine.size())
        return std::nullopt;
    return commandLine.substr(start);
}

std::optional<std::string> ChannelCommand(StartMode mode) {
    switch (mode) {
    case StartMode::Bootstrap:
    case StartMode::Update:
        return std::nullopt;
    case StartMode::Configure:
        return "configure";
    case StartMode::Log:
        return "log";
    case StartMode::Contacts:
        return "contacts";
    case StartMode::Cover:
        return "cover";
    case StartMode::Tray:
        break;
    }
    return "show";
}

} // namespace qp
