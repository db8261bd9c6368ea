#pragma once

#include "contacts/Contact.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qp::contacts {

// A contacts file is read whole; a larger one is taken for damage, not read.
inline constexpr std::size_t kMaxVCardFileSize = 16u << 20;
// One property, its folded lines put together again (a photo from another address book fits).
inline constexpr std::size_t kMaxVCardLineLength = 1u << 20;

struct VCardRead {
    std::vector<Contact> contacts;
    // Why the text is no vCard file ("line 7: ..."); empty when it was read.
    std::string problem;
    bool Ok() const { return problem.empty(); }
};

// Reads the vCards of a file, versions 4.0, 3.0 and 2.1: FN (else N) as the name, ORG, and every
// TEL, those typed fax first. Folded lines, backslash escapes, quoted parameter values and bare
// 2.1 parameters, quoted-printable and the named character sets are understood; other properties
// are passed over. Empty text is an empty book. Text that is not a sequence of whole vCards
// (garbage, a card cut off, a NUL byte, a line or file over the limits) gives a problem instead.
VCardRead ReadVCards(std::string_view text);

// The contacts as vCard 4.0: UTF-8, CRLF line ends, lines folded at 75 octets.
std::string WriteVCards(const std::vector<Contact>& contacts);

} // namespace qp::contacts
