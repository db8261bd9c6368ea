#pragma once

#include <string>

namespace qp {

// One entry the "Fax to:" box offers while the user types: from the address book or from the
// numbers sent to before. Every text is safe to show (outside text made plain).
struct RecipientSuggestion {
    // The line in the list: "Alice Smith (Acme) — (555) 123-4567", or the number alone; a number
    // written with "+" as written and as dialled: "+1 555 201 0001 (dials 15552010001)".
    std::string shown;
    // What goes into the box: the number as the line dials it, written as the recipient history
    // writes it, or as the contact has it when it cannot be dialled (the box then says why on
    // Send).
    std::string number;
    // The contact's name and organisation for the cover page's To: field; empty for a number
    // that only the history knows.
    std::string name;
    std::string organisation;
};

} // namespace qp
