#pragma once

#include "fax/SendSettings.h"

#include <optional>
#include <string>
#include <vector>

namespace qp {
class SecretStore;
}

namespace qp::send {

struct SendOptions {
    std::string to;
    SendChoices choices; // Fine, letter unless asked otherwise
    std::string coverPath;
    // A cover page drawn from the stored shared cover sheet fields and logo goes first.
    bool coverSheet = false;
    // Its To, Re and Notes, this fax's own: empty when not given.
    std::optional<std::string> coverTo;
    std::optional<std::string> coverRe;
    std::optional<std::string> coverNotes;
    std::string bodyPath;
    // Where the PIN is when neither the settings nor a reachable keyring hold it (over SSH).
    std::string pinFile;
    // Handed to the outbox (the running client's, else the folder's) instead of sent now.
    bool queue = false;
    bool help = false;
};

// Reads `--to NUMBER|NAME [--resolution normal|fine|high] [--legal] [--cover FILE | --cover-sheet
// [--to-name NAME] [--re TEXT] [--note TEXT]] [--pin-file FILE | --queue] FILE`; nothing, with
// `error` set, when the arguments don't make a send.
std::optional<SendOptions> ParseSendArguments(const std::vector<std::string>& args,
                                              std::string& error);

std::string UsageText();

// The whole send, as the send dialog does it: take --to as a number or a contact's name
// (ChooseRecipient: a name that matches no contact or several ends the run with status 2), check
// the number, refuse what is not PostScript or PDF, find the PIN (in `secrets` when the settings
// have none), convert into a private folder, upload with the user's account, record the
// recipient. With --queue no PIN is looked for and nothing is uploaded: the converted fax goes
// into the outbox (QueueFax). Needs a QCoreApplication, a QGuiApplication for a cover sheet.
// Messages go to the message sink, status lines to stderr (never Ghostscript's own), "Fax
// uploaded." to stdout. Returns the exit code: 0 only when uploaded, or queued.
int RunSend(const SendOptions& options, SecretStore& secrets);

} // namespace qp::send
