#include "fax/log/FaxLog.h"

#include "fax/RecipientHistory.h"
#include "fax/log/ReportFacts.h"
#include "platform/FileOps.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qp::faxlog {
namespace {

constexpr const char* kRecordFile = "record";
constexpr const char* kBodyFile = "body.ps";
// A cover page drawn by the program is a PDF; one given on the command line may be PostScript, as
// older entries' covers are.
constexpr const char* kCoverFile = "cover.pdf";
constexpr const char* kPostScriptCoverFile = "cover.ps";
constexpr const char* kImageFile = "fax.tif";
constexpr const char* kReportFile = "report.pdf";
// Entries being written; they are never listed.
constexpr const char* kScratchPrefix = ".new-";
// A scratch folder this old belongs to a writer that died; it is removed.
constexpr auto kStaleScratchAge = std::chrono::hours(1);
// A record is a few lines; anything larger is not one of ours.
constexpr std::uint64_t kMaxRecordBytes = 64 * 1024;
constexpr unsigned kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;
constexpr int kMaxNameAttempts = 100;

// Ghostscript tells the two apart by their first bytes, and so does the log.
bool IsPdfFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    char start[5] = {};
    return file.read(start, sizeof start) && std::string(start, sizeof start) == "%PDF-";
}

template <typename T> std::optional<T> ParseNumber(const std::string& text) {
    if (text.empty() || text.size() > 20)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < 0)
        return std::nullopt;
    return static_cast<T>(value);
}

std::optional<Outcome> OutcomeFromText(const std::string& text) {
    for (Outcome outcome :
         {Outcome::Sent, Outcome::Failed, Outcome::NotSent, Outcome::NotConfirmed}) {
        if (text == OutcomeText(outcome))
            return outcome;
    }
    return std::nullopt;
}

// Entry names begin with the UTC time, so that they sort oldest first.
std::string EntryName(std::int64_t time, int attempt) {
    static std::atomic<unsigned> counter{0};
    const std::time_t seconds = static_cast<std::time_t>(time);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    return std::string(stamp) + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
           "-" + std::to_string(attempt);
}

std::string ProblemWith(const std::string& path, int error) {
    return path + ": " + (error != 0 ? std::strerror(error) : "the entry could not be written");
}

bool IsEntryName(const std::string& name) {
    return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
}

class FileEntryWriter final : public EntryWriter {
public:
    bool Write(const std::string& to, const std::string& bytes) override {
        const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
        if (fd < 0)
            return false;
        const bool ok = WriteAllToFd(fd, bytes) && ::fsync(fd) == 0;
        return (::close(fd) == 0) && ok;
    }
    // A printed job can be large: it is copied in the kernel, never read into memory whole.
    bool Copy(const std::string& from, const std::string& to) override {
        return CopyFileNew(from, to, kFileMode);
    }
};

} // namespace

const char* OutcomeText(Outcome outcome) {
    switch (outcome) {
    case Outcome::Sent:
        return "sent";
    case Outcome::Failed:
        return "failed";
    case Outcome::NotSent:
        return "not sent";
    case Outcome::NotConfirmed:
        return "sent, not confirmed";
    }
    return "not sent";
}

std::string FormatRecord(const Record& r) {
    std::string text;
    auto line = [&text](const char* key, const std::string& value) {
        text += key;
        text += '=';
        text += EscapeLineBreaks(value);
        text += '\n';
    };
    line("time", std::to_string(r.time));
    line("typed", r.typed);
    line("dialled", r.dialled);
    line("pages", std::to_string(r.pages));
    line("resolution", SettingForResolution(r.resolution));
    line("paper", r.legal ? "legal" : "letter");
    line("size", std::to_string(r.size));
    line("outcome", OutcomeText(r.outcome));
    line("message", r.message);
    line("tries", std::to_string(r.tries));
    line("answer", r.answer);
    return text;
}

std::optional<Record> ParseRecord(const std::string& text) {
    Record r;
    bool haveTime = false;
    bool haveOutcome = false;
    for (const std::string_view piece : SplitAtLineFeeds(text)) {
        const std::string line(piece);
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = UnescapeLineBreaks(line.substr(eq + 1));
        if (key == "time") {
            const auto time = ParseNumber<std::int64_t>(value);
            if (!time)
                return std::nullopt;
            r.time = *time;
            haveTime = true;
        } else if (key == "typed") {
            r.typed = value;
        } else if (key == "dialled") {
            r.dialled = value;
        } else if (key == "pages") {
            r.pages = ParseNumber<int>(value).value_or(0);
        } else if (key == "resolution") {
            r.resolution = ResolutionFromSetting(value);
        } else if (key == "paper") {
            r.legal = value == "legal";
        } else if (key == "size") {
            r.size = ParseNumber<std::uint64_t>(value).value_or(0);
        } else if (key == "outcome") {
            const std::optional<Outcome> outcome = OutcomeFromText(value);
            if (!outcome)
                return std::nullopt;
            r.outcome = *outcome;
            haveOutcome = true;
        } else if (key == "tries") {
            r.tries = ParseNumber<int>(value).value_or(0);
        } else if (key == "message") {
            r.message = value;
        } else if (key == "answer") {
            r.answer = value;
        }
    }
    if (!haveTime || !haveOutcome)
        return std::nullopt;
    return r;
}

std::string Entry::BodyPath() const {
    return folder + "/" + kBodyFile;
}
std::string Entry::CoverPath() const {
    const std::string pdf = folder + "/" + kCoverFile;
    const std::string postScript = folder + "/" + kPostScriptCoverFile;
    return !FileExists(pdf) && FileExists(postScript) ? postScript : pdf;
}

bool Entry::CoverIsPostScript() const {
    return CoverPath().ends_with(kPostScriptCoverFile);
}
std::string Entry::ImagePath() const {
    return folder + "/" + kImageFile;
}

std::string Entry::ReportPath() const {
    return folder + "/" + kReportFile;
}

EntryWriter& DefaultEntryWriter() {
    static FileEntryWriter writer;
    return writer;
}

FaxLog::FaxLog(std::string folder, EntryWriter& writer, Retention retention)
    : m_folder(std::move(folder)), m_writer(writer), m_retention(retention) {}

std::string FaxLog::DefaultFolder() {
    // Without a home there is no log: never a folder at the root of the file system.
    const std::optional<std::string> data = UserDataFolder();
    return data ? *data + "/log" : std::string();
}

std::string FaxLog::EnsureFolder() const {
    if (m_folder.empty())
        return "there is no home folder to keep it in";
    std::error_code ec;
    fs::create_directories(fs::path(m_folder).parent_path(), ec);
    if (::mkdir(m_folder.c_str(), kFolderMode) != 0 && errno != EEXIST)
        return ProblemWith(m_folder, errno);
    // Only a real folder of this user holds the log: never one reached through a link.
    struct stat st {};
    if (::lstat(m_folder.c_str(), &st) != 0)
        return ProblemWith(m_folder, errno);
    if (!S_ISDIR(st.st_mode))
        return ProblemWith(m_folder, ENOTDIR);
    if (st.st_uid != ::getuid())
        return m_folder + ": not a folder of this user's";
    if ((st.st_mode & 07777) != kFolderMode)
        ::chmod(m_folder.c_str(), kFolderMode);
    return {};
}

std::optional<std::string> FaxLog::Add(const Record& record, const EntryFiles& files,
                                       std::string* failure) {
    auto fail = [failure](std::string why) -> std::optional<std::string> {
        if (failure != nullptr)
            *failure = std::move(why);
        return std::nullopt;
    };
    if (std::string problem = EnsureFolder(); !problem.empty())
        return fail(std::move(problem));
    RemoveStaleScratch();
    std::string scratch = m_folder + "/" + kScratchPrefix + "XXXXXX";
    if (::mkdtemp(scratch.data()) == nullptr)
        return fail(ProblemWith(m_folder, errno));

    // A writer put in by a test may fail without saying why.
    errno = 0;
    bool ok = true;
    const char* coverName = IsPdfFile(files.cover) ? kCoverFile : kPostScriptCoverFile;
    const std::pair<const std::string*, const char*> copies[] = {
        {&files.body, kBodyFile}, {&files.cover, coverName}, {&files.image, kImageFile}};
    for (const auto& [from, name] : copies) {
        if (ok && !from->empty() && FileExists(*from))
            ok = m_writer.Copy(*from, scratch + "/" + name);
    }
    if (ok && m_drawReport && WasSent(record.outcome)) {
        WriteReport(record, scratch);
        errno = 0;
    }
    // The record goes last: a folder with a record is a whole entry.
    ok = ok && m_writer.Write(scratch + "/" + kRecordFile, FormatRecord(record));
    int error = ok ? 0 : errno;

    std::optional<std::string> id;
    for (int attempt = 0; ok && !id && attempt < kMaxNameAttempts; ++attempt) {
        const std::string name = EntryName(record.time, attempt);
        if (MoveFileNoReplace(scratch, m_folder + "/" + name))
            id = name;
        else if ((error = errno) != EEXIST && errno != ENOTEMPTY)
            break;
    }
    if (!id) {
        std::error_code ec;
        fs::remove_all(scratch, ec);
        return fail(ProblemWith(m_folder, error));
    }
    Trim(*id);
    return id;
}

// Before the record: the report is part of the entry, never added to one a reader may see.
void FaxLog::WriteReport(const Record& record, const std::string& scratch) {
    const std::string path = scratch + "/" + kReportFile;
    std::optional<std::string> pdf;
    try {
        pdf = m_drawReport(ReportFactsFor(record, scratch + "/" + kImageFile));
    } catch (const std::exception&) {
        pdf.reset();
    }
    if (!pdf || pdf->empty() || !m_writer.Write(path, *pdf)) {
        std::error_code ec;
        fs::remove(path, ec);
    }
}

std::vector<std::string> FaxLog::EntryIds() const {
    std::vector<std::string> ids;
    std::error_code ec;
    for (const fs::directory_entry& item : fs::directory_iterator(m_folder, ec)) {
        const std::string name = item.path().filename().string();
        if (IsEntryName(name) && item.is_directory(ec) && !item.is_symlink(ec))
            ids.push_back(name);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::optional<Entry> FaxLog::Find(const std::string& id) const {
    if (!IsEntryName(id))
        return std::nullopt;
    Entry entry;
    entry.id = id;
    entry.folder = m_folder + "/" + id;
    const std::string recordPath = entry.folder + "/" + kRecordFile;
    // Only a plain file is read: a link to a pipe or device could block or never end.
    std::error_code ec;
    const std::optional<std::uint64_t> size = FileSize(recordPath);
    if (!fs::is_regular_file(fs::symlink_status(recordPath, ec)) || !size ||
        *size > kMaxRecordBytes)
        return std::nullopt;
    const std::optional<std::string> text = ReadWholeFile(recordPath);
    std::optional<Record> record = text ? ParseRecord(*text) : std::nullopt;
    if (!record)
        return std::nullopt;
    entry.record = std::move(*record);
    entry.hasBody = FileExists(entry.BodyPath());
    entry.hasCover = FileExists(entry.CoverPath());
    entry.hasImage = FileExists(entry.ImagePath());
    entry.hasReport = FileExists(entry.ReportPath());
    entry.bytes = FolderFileBytes(entry.folder);
    return entry;
}

std::vector<Entry> FaxLog::Entries() const {
    std::vector<Entry> entries;
    std::vector<std::string> ids = EntryIds();
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        if (std::optional<Entry> entry = Find(*it))
            entries.push_back(std::move(*entry));
    }
    return entries;
}

bool FaxLog::Remove(const std::string& id) {
    if (!IsEntryName(id))
        return false;
    std::error_code ec;
    const fs::path folder = fs::path(m_folder) / id;
    if (!fs::is_directory(fs::symlink_status(folder, ec)))
        return false;
    return fs::remove_all(folder, ec) > 0 && !ec;
}

void FaxLog::Trim(const std::string& keep) {
    const std::vector<std::string> ids = EntryIds();
    std::vector<std::uint64_t> sizes;
    std::uint64_t total = 0;
    for (const std::string& id : ids) {
        sizes.push_back(FolderFileBytes(m_folder + "/" + id));
        total += sizes.back();
    }
    std::size_t count = ids.size();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (count <= m_retention.maxEntries && total <= m_retention.maxBytes)
            break;
        if (ids[i] == keep)
            continue;
        if (Remove(ids[i])) {
            --count;
            total -= sizes[i];
        }
    }
}

void FaxLog::RemoveStaleScratch() const {
    std::error_code ec;
    const auto now = fs::file_time_type::clock::now();
    for (const fs::directory_entry& item : fs::directory_iterator(m_folder, ec)) {
        const std::string name = item.path().filename().string();
        if (name.rfind(kScratchPrefix, 0) != 0 || item.is_symlink(ec))
            continue;
        std::error_code timeError;
        const auto written = item.last_write_time(timeError);
        if (!timeError && now - written > kStaleScratchAge)
            fs::remove_all(item.path(), ec);
    }
}

} // namespace qp::faxlog
