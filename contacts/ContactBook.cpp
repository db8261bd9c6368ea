#include "contacts/ContactBook.h"

#include "contacts/BoundedFile.h"
#include "contacts/VCard.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace qp::contacts {
namespace {

// Names and numbers of the user's correspondents are nobody else's business.
constexpr mode_t kFolderMode = 0700;
constexpr unsigned kFileMode = 0600;

std::string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return stamp;
}

bool EnsurePrivateFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ec);
    if (::mkdir(folder.c_str(), kFolderMode) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    if ((st.st_mode & 07777) != kFolderMode && st.st_uid == ::getuid())
        ::chmod(folder.c_str(), kFolderMode);
    return true;
}

ContactFileRead Failure(ContactFileRead::State state, std::string problem) {
    ContactFileRead read;
    read.state = state;
    read.problem = std::move(problem);
    return read;
}

} // namespace

ContactFileRead ReadContactFile(const std::string& path) {
    using State = ContactFileRead::State;
    const BoundedFile file = ReadBoundedFile(path, kMaxVCardFileSize);
    switch (file.state) {
    case BoundedFile::State::Missing:
        return {};
    case BoundedFile::State::TooLarge:
        return Failure(State::Damaged, "it is larger than 16 MB");
    case BoundedFile::State::Unreadable:
        return Failure(State::Unreadable, file.problem);
    case BoundedFile::State::Read:
        break;
    }
    VCardRead cards = ReadVCards(file.text);
    if (!cards.Ok())
        return Failure(State::Damaged, cards.problem);
    ContactFileRead read;
    read.state = State::Read;
    read.contacts = std::move(cards.contacts);
    return read;
}

ContactBook::ContactBook(FolderFinder findFolder) : m_findFolder(std::move(findFolder)) {}

std::string ContactBook::Path() const {
    const std::optional<std::string> folder = m_findFolder();
    return folder ? *folder + "/" + kContactsFileName : std::string();
}

void ContactBook::Load() {
    m_contacts.clear();
    m_saveBlocked = false;
    const std::string path = Path();
    if (path.empty())
        return;
    ContactFileRead read = ReadContactFile(path);
    switch (read.state) {
    case ContactFileRead::State::Missing:
        break;
    case ContactFileRead::State::Read:
        m_contacts = std::move(read.contacts);
        break;
    case ContactFileRead::State::Damaged:
        KeepDamagedFileAside(path, read.problem);
        break;
    case ContactFileRead::State::Unreadable:
        m_saveBlocked = true;
        ShowMessage("The contacts file " + path + " cannot be read (" + read.problem +
                    "). The address book starts empty and is not saved over it.");
        break;
    }
}

void ContactBook::KeepDamagedFileAside(const std::string& path, const std::string& problem) {
    const std::string base = path + ".damaged-" + LocalTimeStamp();
    std::string aside = base;
    bool kept = MoveFileNoReplace(path, aside);
    for (int n = 2; !kept && errno == EEXIST && n < 100; ++n) {
        aside = base + "-" + std::to_string(n);
        kept = MoveFileNoReplace(path, aside);
    }
    if (kept) {
        ShowMessage("The contacts file " + path + " is damaged (" + problem + "). It was kept as " +
                    aside + " and the address book starts empty.");
        return;
    }
    m_saveBlocked = true;
    ShowMessage("The contacts file " + path + " is damaged (" + problem +
                ") and could not be kept aside: " + std::strerror(errno) +
                ". The address book starts empty and is not saved over it.");
}

bool ContactBook::Save() {
    const std::string path = Path();
    if (m_saveBlocked) {
        ShowMessage("The contacts are not saved: " + path +
                    " could not be read and is left as it is.");
        return false;
    }
    if (path.empty()) {
        ShowMessage("The contacts are not saved: there is no home folder to keep them in.");
        return false;
    }
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!EnsurePrivateFolder(folder) ||
        !WriteFileAtomically(path, WriteVCards(m_contacts), kFileMode)) {
        ShowMessage("The contacts could not be saved in " + path + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

bool ContactBook::Add(Contact contact) {
    OrderNumbers(contact);
    m_contacts.push_back(std::move(contact));
    return Save();
}

bool ContactBook::AddAll(std::vector<Contact> contacts) {
    for (Contact& contact : contacts) {
        OrderNumbers(contact);
        m_contacts.push_back(std::move(contact));
    }
    return Save();
}

bool ContactBook::Replace(std::size_t index, Contact contact) {
    if (index >= m_contacts.size())
        return false;
    OrderNumbers(contact);
    m_contacts[index] = std::move(contact);
    return Save();
}

bool ContactBook::Remove(std::size_t index) {
    if (index >= m_contacts.size())
        return false;
    m_contacts.erase(m_contacts.begin() + static_cast<std::ptrdiff_t>(index));
    return Save();
}

} // namespace qp::contacts
