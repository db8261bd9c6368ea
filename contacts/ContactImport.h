#pragma once

#include "base/DialRules.h"
#include "contacts/Contact.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qp::contacts {

struct ContactImport {
    // The contacts to add, in file order.
    std::vector<Contact> added;
    // Passed over: contacts without any number, and those the book (or the file) has already.
    std::size_t withoutNumber = 0;
    std::size_t known = 0;
    // The added contacts' fax numbers that the line cannot dial, each with why.
    struct Undialable {
        std::string contact;
        std::string number;
        std::string reason;
    };
    std::vector<Undialable> undialable;
    // Why the file could not be imported; empty when it was read.
    std::string problem;
};

// Reads a file from another address book: vCards when it starts as one, else a CSV table with a
// header row (ReadCsvContacts). At most as large as the contacts file may be. `book` is what the
// address book holds already; the numbers are dialled by `rules`.
ContactImport ReadContactImport(const std::string& path, const std::vector<Contact>& book,
                                const DialRules& rules);

// What the user is told after an import: "3 contacts imported.", the numbers that cannot be dialled
// (the reason when there is one, else whose they are) and what was passed over.
std::string ImportSummary(const ContactImport& import);

} // namespace qp::contacts
