#pragma once

#include "contacts/ContactBook.h"

#include <functional>
#include <string>

namespace qp::send {

// Where --to sends the fax.
struct Recipient {
    // The number to check and dial; empty when --to named no single contact.
    std::string number;
    // The lines to print when a contact was chosen ("Fax to: ..."), or why none was (then the exit
    // status is 2).
    std::string said;
};

// --to as a number or as a contact's name. A value that passes the number rules is a number; so
// is one that can only be a number (digits, blanks, ". - ( ) + ;") or that begins with "+", for
// the number rules to say what is wrong with it. Anything else names a contact
// (FindContactsByName): exactly one gives its fax number (the first fax number, else the first
// number); several are listed, one a line, and none is said. `readBook` reads the contacts file
// only when a name needs it.
Recipient ChooseRecipient(const std::string& to,
                          const std::function<contacts::ContactFileRead()>& readBook);

} // namespace qp::send
