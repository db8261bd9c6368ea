#include "tools/send/SendCommand.h"

#include "base/Account.h"
#include "base/DialRules.h"
#include "base/FaxNumber.h"
#include "base/WorkPaths.h"
#include "contacts/ContactBook.h"
#include "cover/CoverFieldsStore.h"
#include "cover/CoverFile.h"
#include "cover/CoverLogo.h"
#include "cover/ReportFile.h"
#include "fax/Conversion.h"
#include "fax/FaxImageInfo.h"
#include "fax/RecipientHistory.h"
#include "fax/Upload.h"
#include "fax/log/SendRecording.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/OutsideText.h"
#include "platform/Profile.h"
#include "platform/Sockets.h"
#include "tools/send/DocumentCheck.h"
#include "tools/send/QueueCommand.h"
#include "tools/send/Recipient.h"
#include "tools/send/SendPin.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace qp::send {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The conversion and its image belong to this run alone: the shared work files of a running
// client are never touched.
class PrivateFolder {
public:
    // On failure the path stays empty and `error` says why. An unusable TMPDIR is an error, not a
    // reason to fall back on the current directory.
    explicit PrivateFolder(std::string& error) {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec || base.empty()) {
            const char* tmpdir = std::getenv("TMPDIR");
            error = "the temporary folder " + std::string(tmpdir ? tmpdir : "") +
                    " cannot be used: " + (ec ? ec.message() : std::string("no path"));
            return;
        }
        std::string pattern = (base / "quillpost-send.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            error =
                "cannot create a private folder in " + base.string() + ": " + std::strerror(errno);
            return;
        }
        m_path = pattern;
    }
    ~PrivateFolder() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Ghostscript must see a path, never something it could take for an option.
std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
}

// Runs Ghostscript quietly (its own words are no message for our user) and notes whether it ran.
// Left to itself Ghostscript passes over a PDF it cannot read, leaves its pages out and exits 0;
// a fax missing a document must not go, so here a PDF error ends the run.
class ConversionRunner final : public ProcessRunner {
public:
    using ProcessRunner::RunAndWait;

    ProcessResult RunAndWait(const std::vector<std::string>& argv, std::stop_token stop) override {
        std::vector<std::string> strict = argv;
        if (!strict.empty())
            strict.insert(strict.begin() + 1, "-dPDFSTOPONERROR");
        const ProcessResult result = QuietProcessRunner().RunAndWait(strict, stop);
        m_ran = m_ran || result.started;
        return result;
    }
    bool StartDetached(const std::vector<std::string>& argv, const std::string& workDir) override {
        return QuietProcessRunner().StartDetached(argv, workDir);
    }
    bool Ran() const { return m_ran; }

private:
    bool m_ran = false;
};

// The notes are stored with CR LF line breaks, as the dialog's multi-line field gives them.
std::string WithDialogLineBreaks(const std::string& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            result += '\r';
        result += text[i];
    }
    return result;
}

// To, Re and Notes are this fax's alone: the command line's or none, never those a send dialog
// is filling in.
CoverFields CoverFieldsFor(const SendOptions& options) {
    CoverFields fields = LoadSharedCoverFields(Profile());
    if (options.coverTo)
        fields.to = *options.coverTo;
    if (options.coverRe)
        fields.re = *options.coverRe;
    if (options.coverNotes)
        fields.notes = WithDialogLineBreaks(*options.coverNotes);
    return fields;
}

// Merged into the history as it is now, under the lock the send dialogs take too.
void RememberRecipient(const std::string& dialled) {
    const RecipientHistory::SaveResult saved =
        RecipientHistory().SaveHistory(HistoryEntryFor(dialled));
    if (saved == RecipientHistory::SaveResult::Busy)
        std::cerr << "quillpost-send: the recipient history is busy elsewhere; it was left as it "
                     "was\n";
    else if (saved == RecipientHistory::SaveResult::WriteFailed ||
             saved == RecipientHistory::SaveResult::NoFolder)
        std::cerr << "quillpost-send: the recipient history could not be saved\n";
}

} // namespace

std::string UsageText() {
    return "usage: quillpost-send --to NUMBER|NAME [--resolution normal|fine|high] [--legal]\n"
           "         [--cover FILE | --cover-sheet [--to-name NAME] [--re TEXT] [--note TEXT]]\n"
           "         [--pin-file PINFILE | --queue] FILE\n"
           "Converts the document, PostScript or PDF (after the cover, when given), into a fax\n"
           "and uploads it with the account in the Quillpost settings. --cover-sheet puts a\n"
           "cover page with the stored From, Fax, Phone, disclosure and logo in front; its To,\n"
           "Re and Notes are those of --to-name, --re and --note, else empty. --to takes a fax "
           "number or the\n"
           "name (or organisation) of a contact in the address book: the whole name, or the\n"
           "start of it or of one of its words, ignoring case; it must match one contact.\n"
           "The PIN comes from the settings or the desktop's keyring; where neither has it (a\n"
           "keyring cannot be reached over SSH), from the first line of PINFILE, which only you\n"
           "may read (mode 0600).\n"
           "--queue converts the fax and leaves it in the Quill Post outbox, which sends it and\n"
           "tries again by itself: the running Quill Post takes it at once, else it goes out\n"
           "when Quill Post next runs. It prints \"Fax queued: ID\" and returns; the outbox\n"
           "sends with the stored account, so --pin-file cannot go with it.\n"
           "Exits 0 only when it was uploaded (also when the server did not confirm that it\n"
           "received it: \"Fax sent, not confirmed.\") or queued, 2 when NAME matches no\n"
           "contact or several.\n";
}

std::optional<SendOptions> ParseSendArguments(const std::vector<std::string>& args,
                                              std::string& error) {
    SendOptions options;
    bool haveTo = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                error = "missing value for " + arg;
                return false;
            }
            into = args[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        }
        if (arg == "--to") {
            if (!value(options.to))
                return std::nullopt;
            haveTo = true;
        } else if (arg == "--resolution") {
            std::string resolution;
            if (!value(resolution))
                return std::nullopt;
            if (resolution != "normal" && resolution != "fine" && resolution != "high") {
                error = "resolution must be normal, fine or high";
                return std::nullopt;
            }
            options.choices.resolution = ResolutionFromSetting(resolution);
        } else if (arg == "--legal") {
            options.choices.legal = true;
        } else if (arg == "--cover") {
            if (!value(options.coverPath))
                return std::nullopt;
        } else if (arg == "--pin-file") {
            if (!value(options.pinFile))
                return std::nullopt;
        } else if (arg == "--queue") {
            options.queue = true;
        } else if (arg == "--cover-sheet") {
            options.coverSheet = true;
        } else if (arg == "--to-name" || arg == "--re" || arg == "--note") {
            std::optional<std::string>& field = arg == "--to-name" ? options.coverTo
                                                : arg == "--re"    ? options.coverRe
                                                                   : options.coverNotes;
            if (!value(field.emplace()))
                return std::nullopt;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
            error = "unknown option " + arg;
            return std::nullopt;
        } else {
            if (arg == "--") {
                if (i + 1 >= args.size())
                    break;
                ++i;
            }
            if (!options.bodyPath.empty()) {
                error = "only one document can be sent";
                return std::nullopt;
            }
            options.bodyPath = args[i];
        }
    }
    if (!haveTo) {
        error = "--to NUMBER or --to NAME is required";
        return std::nullopt;
    }
    if (options.bodyPath.empty()) {
        error = "no document given";
        return std::nullopt;
    }
    if (options.coverSheet && !options.coverPath.empty()) {
        error = "--cover and --cover-sheet cannot be used together";
        return std::nullopt;
    }
    if (!options.coverSheet && (options.coverTo || options.coverRe || options.coverNotes)) {
        error = "--to-name, --re and --note fill the page of --cover-sheet";
        return std::nullopt;
    }
    if (options.queue && !options.pinFile.empty()) {
        error = "--pin-file cannot go with --queue: the outbox sends with the stored account";
        return std::nullopt;
    }
    return options;
}

int RunSend(const SendOptions& given, SecretStore& secrets) {
    StartSockets();

    const Recipient recipient = ChooseRecipient(
        given.to, [] { return contacts::ReadContactFile(contacts::ContactBook().Path()); });
    std::cerr << recipient.said;
    if (recipient.number.empty())
        return kExitUsage;
    // From here on the contact's number stands where its name was typed: the log and a resend
    // keep the number.
    SendOptions options = given;
    options.to = recipient.number;

    // A number written with "+", the contact's or the command line's, is dialled by the account's
    // rules; the log keeps it as written beside what was dialled.
    const FaxNumberCheck number = DialledNumber(options.to, LoadDialRules(Profile()));
    if (!number.Ok()) {
        ShowMessage(number.message);
        return kExitFailed;
    }
    if (number.number != CheckFaxNumber(options.to).number)
        std::cerr << "Dialled as " << number.number << "\n";
    // Ghostscript takes any file for PostScript: text would fail only inside it, in its own words.
    bool coverIsPdf = false;
    for (const std::string* path : {&options.coverPath, &options.bodyPath}) {
        if (path->empty())
            continue;
        bool pdf = false;
        if (const std::optional<std::string> problem = DocumentProblem(*path, pdf)) {
            std::cerr << "quillpost-send: " << *problem << "\n";
            return kExitUsage;
        }
        if (path == &options.coverPath)
            coverIsPdf = pdf;
    }

    // The outbox asks for the PIN itself at each try, with the account as it is then.
    std::optional<std::string> pin;
    if (!options.queue) {
        int noPin = kExitFailed;
        pin = PinForSend(secrets, Profile(), options.pinFile, std::cerr, noPin);
        if (!pin)
            return noPin;
    }

    std::string folderError;
    PrivateFolder folder(folderError);
    if (folder.Path().empty()) {
        std::cerr << "quillpost-send: " << folderError << "\n";
        return kExitFailed;
    }
    // Without a cover sheet the cover path names a file that does not exist, as in the dialog.
    std::string coverPath = options.coverPath.empty() ? folder.Path() + "/faxcover.ps"
                                                      : AbsolutePath(options.coverPath);
    if (options.coverSheet) {
        coverPath = folder.Path() + "/faxcover.pdf";
        // The page of the stored cover sheet fields and logo, as the cover sheet dialog draws it.
        if (!DrawCoverFile(CoverFieldsFor(options), UserLogoPaths().logo, coverPath)) {
            std::cerr << "quillpost-send: the cover sheet could not be drawn\n";
            return kExitFailed;
        }
    }
    const std::string imagePath = folder.Path() + "/fax.tif";
    // Every attempt goes into the user's fax log, a failure with the words it was shown with; the
    // cover goes with it, drawn or given.
    faxlog::FaxLog log;
    // A sent fax keeps its transmission report, as one sent from a dialog does.
    log.KeepReports([](const TransmissionFacts& facts) {
        const Profile profile;
        return TransmissionReportPdf(facts, LoadAccountSettings(profile).login, profile);
    });
    const faxlog::EntryFiles files{options.bodyPath, coverPath, imagePath};
    auto record = [&](faxlog::Outcome outcome, const std::string& message, bool imageMade,
                      const std::string& answer = {}) {
        const faxlog::LoggedAttempt logged = faxlog::RecordAttempt(
            log,
            {options.to, number.number, options.choices, outcome, message, imageMade, 0, answer},
            files);
        if (!logged.onDisk)
            ShowMessage(faxlog::LogFailureText(outcome, logged.failure));
    };

    const ConversionParams params =
        ChooseConversionParams(options.choices.resolution, options.choices.legal);
    ConversionRunner runner;
    const qp::Outcome converted = CreateFaxImage(
        kGhostscriptPath, coverPath, AbsolutePath(options.bodyPath), imagePath, params, runner);
    if (!converted && !runner.Ran()) {
        ShowMessage(converted.message);
        record(faxlog::Outcome::Failed, converted.message, false);
        return kExitFailed;
    }
    if (!converted) {
        // Ghostscript read a given cover and the body together; the cover alone tells which of
        // the two it could not read.
        std::string unreadable = options.bodyPath;
        if (!options.coverPath.empty() &&
            !CreateFaxImage(kGhostscriptPath, coverPath, folder.Path() + "/no-body", imagePath,
                            params, runner))
            unreadable = options.coverPath;
        const std::string message =
            ShownAsText(unreadable) + " could not be read as PostScript or PDF";
        std::cerr << "quillpost-send: " << message << "\n";
        record(faxlog::Outcome::Failed, message, false);
        return kExitFailed;
    }

    if (options.queue) {
        outbox::QueuedFax queued;
        queued.fax.typed = options.to;
        queued.fax.dialled = number.number;
        queued.fax.choices = options.choices;
        queued.fax.pages = faxlog::CountTiffPages(imagePath);
        queued.image = imagePath;
        queued.body = options.bodyPath;
        if (FileExists(coverPath)) {
            queued.cover = coverPath;
            // A drawn cover sheet is a PDF; a given cover is what it starts as.
            queued.coverIsPostScript = !options.coverPath.empty() && !coverIsPdf;
        }
        const int queuedExit =
            QueueFax(JobStore::ForUser(), queued, UserChannelAddress(), std::cout, std::cerr);
        if (queuedExit == 0)
            RememberRecipient(number.number);
        return queuedExit;
    }

    std::cerr << "Sending fax to server..." << std::endl;
    AccountSettings account = LoadAccountSettings(Profile());
    account.pin = *pin;
    const qp::Outcome uploaded =
        UploadFax(account, number.number, std::string(), imagePath, nullptr);
    if (!uploaded) {
        ShowMessage(uploaded.message);
        record(faxlog::Outcome::Failed, uploaded.message, true);
        std::cerr << "Fax upload failed." << std::endl;
        return kExitFailed;
    }
    // The server had every byte but never said it kept the fax: it counts as sent, so that a
    // script does not send it twice, and says so.
    if (uploaded.unconfirmed)
        ShowMessage(uploaded.message);
    record(uploaded.unconfirmed ? faxlog::Outcome::NotConfirmed : faxlog::Outcome::Sent,
           uploaded.message, true, uploaded.answer);

    RememberRecipient(number.number);
    std::cout << (uploaded.unconfirmed ? "Fax sent, not confirmed." : "Fax uploaded.") << std::endl;
    return 0;
}

} // namespace qp::send
