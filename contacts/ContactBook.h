#pragma once

#include "base/Settings.h"
#include "contacts/Contact.h"
#include "platform/UserFolders.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qp::contacts {

inline constexpr const char* kContactsFileName = "contacts.vcf";
// The folders the contacts window last imported from and exported to, where those dialogs open
// next.
inline constexpr settings::Setting kImportFolderSetting{"contactsimportdir"};
inline constexpr settings::Setting kExportFolderSetting{"contactsexportdir"};

// A contacts file as found on disk.
struct ContactFileRead {
    enum class State {
        Missing,    // no file: an empty book
        Read,       // `contacts` holds it
        Damaged,    // not a vCard file, or over the size limit; `problem` says why
        Unreadable, // there, but not a file that can be read; `problem` says why
    };
    State state = State::Missing;
    std::vector<Contact> contacts;
    std::string problem;
};

// Reads a vCard file of at most kMaxVCardFileSize bytes; a pipe or device under the name is not
// read. Never changes the file: for quillpost-send and imports as much as for the book.
ContactFileRead ReadContactFile(const std::string& path);

// The user's address book in $XDG_DATA_HOME/Quillpost/contacts.vcf (folder 0700, file 0600).
// Every change is written at once, into a temporary file renamed into place. A damaged file is
// never written over: Load moves it aside as "contacts.vcf.damaged-<time>", says so, and starts
// empty; a file that is there but cannot be read is left alone, and nothing is saved over it.
// Problems reach the user through qp::ShowMessage.
class ContactBook {
public:
    using FolderFinder = std::function<std::optional<std::string>()>;

    explicit ContactBook(FolderFinder findFolder = UserDataFolder);

    void Load();
    const std::vector<Contact>& Contacts() const { return m_contacts; }
    // The file's path; empty without a home folder.
    std::string Path() const;

    // Each change puts the contact's fax numbers first and saves the book; false (and a message
    // shown) when it could not be saved. The change stays in memory either way.
    bool Add(Contact contact);
    bool AddAll(std::vector<Contact> contacts);
    bool Replace(std::size_t index, Contact contact);
    bool Remove(std::size_t index);

private:
    bool Save();
    void KeepDamagedFileAside(const std::string& path, const std::string& problem);

    FolderFinder m_findFolder;
    std::vector<Contact> m_contacts;
    // Set while a file that was not read still lies where the book would be saved.
    bool m_saveBlocked = false;
};

} // namespace qp::contacts
