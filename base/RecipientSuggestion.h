#pragma once

#include <string>

namespace qp {

// One way to finish what the user is typing as the recipient: from the address book or from the
// numbers sent to before.
struct RecipientSuggestion {
    std::string shown;        // the line the user picks from
    std::string number;       // what the recipient box then holds, formatted as the history is
    std::string name;         // the contact's, when it came from one
    std::string organisation; // the contact's, when it came from one
};

} // namespace qp
