#pragma once

#include "base/DialRules.h"
#include "base/RecipientSuggestion.h"
#include "contacts/Contact.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qp::contacts {

inline constexpr std::size_t kMostSuggestions = 50;

// What the "Fax to:" box offers for the text typed so far, best first, at most `most`.
//
// Typed text is matched, case-folded, against each contact's name and organisation; typed text
// that can only be a number (LooksLikeNumber) is matched by its digits against every number too.
// Each number of a contact is one suggestion, and each history entry that no contact has.
// Order:
//   1. matches at the start of a name, an organisation, one of their words or a number's digits,
//      before matches further inside;
//   2. then contacts' fax numbers, then numbers sent to before (a contact's other number among
//      them keeps its contact), then contacts' other numbers;
//   3. then the more recently sent to (history order), numbers never sent to last;
//   4. then by name, case-folded, and the order of the book.
// Blank typed text offers nothing. A number is given as the line dials it, by `rules`
// (DialledNumber), and as the history writes it (HistoryEntryFor), so that choosing it fills the
// box as choosing a history entry does; the list shows a number written with "+" as written too.
// One the rules refuse is given as the contact has it, so the box says why on Send.
std::vector<RecipientSuggestion> CompleteRecipient(const std::string& typed,
                                                   const std::vector<Contact>& contacts,
                                                   const std::vector<std::string>& history,
                                                   const DialRules& rules,
                                                   std::size_t most = kMostSuggestions);

} // namespace qp::contacts
