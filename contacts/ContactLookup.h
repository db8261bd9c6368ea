#pragma once

#include "contacts/Contact.h"

#include <string>
#include <vector>

namespace qp::contacts {

// The contacts a name given on a command line means, in book order. Case-folded, blanks around it
// trimmed: the contacts whose whole name it is; failing that, those whose name or one of its words
// begins with it ("smith" finds "Alice Smith"); failing both, the same two steps by organisation.
// Only contacts with a number take part: one without cannot be sent to.
std::vector<Contact> FindContactsByName(const std::vector<Contact>& contacts,
                                        const std::string& typed);

} // namespace qp::contacts
