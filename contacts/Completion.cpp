#include "contacts/Completion.h"

#include "base/FaxNumber.h"
#include "contacts/TextMatch.h"
#include "platform/OutsideText.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace qp::contacts {
namespace {

constexpr std::size_t kNeverSent = static_cast<std::size_t>(-1);

enum class Source { ContactFax, SentBefore, ContactOther };

// The form in which two writings of a number are the same number: what the line dials.
std::string NumberKey(const std::string& number, const DialRules& rules) {
    const FaxNumberCheck check = DialledNumber(number, rules);
    return check.Ok() ? check.number : TrimBlanks(number);
}

struct Candidate {
    const Contact* contact = nullptr; // none for a number only the history knows
    std::string number;
    FaxNumberCheck dialled;
    Source source = Source::SentBefore;
    std::size_t sent = kNeverSent; // place in the history
    std::size_t order = 0;
    Match match = Match::None;
    std::string foldedName;

    auto Rank() const { return std::tie(match, source, sent, foldedName, order); }
};

Match Find(const ContactMatcher& matcher, const Candidate& candidate) {
    Match best =
        std::min(matcher.InNumber(candidate.number), matcher.InNumber(candidate.dialled.number));
    if (candidate.contact != nullptr) {
        best = std::min(best, matcher.InText(candidate.contact->name));
        best = std::min(best, matcher.InText(candidate.contact->organisation));
    }
    return best;
}

RecipientSuggestion SuggestionFor(const Candidate& candidate) {
    RecipientSuggestion suggestion;
    suggestion.number =
        ShownAsText(candidate.dialled.Ok() ? HistoryEntryFor(candidate.dialled.number)
                                           : TrimBlanks(candidate.number));
    suggestion.shown = suggestion.number;
    // A number written with "+" goes into the box as the line dials it; the list says both.
    if (TrimBlanks(candidate.number).starts_with('+'))
        suggestion.shown = ShownAsText(TrimBlanks(candidate.number)) +
                           (candidate.dialled.Ok() ? " (dials " + suggestion.number + ")"
                                                   : std::string(" (cannot be dialled)"));
    if (candidate.contact != nullptr) {
        suggestion.name = ShownAsText(candidate.contact->name);
        suggestion.organisation = ShownAsText(candidate.contact->organisation);
        const std::string label = ShownAsText(ContactLabel(*candidate.contact));
        if (!label.empty())
            suggestion.shown = label + " \u2014 " + suggestion.shown;
    }
    return suggestion;
}

} // namespace

std::vector<RecipientSuggestion> CompleteRecipient(const std::string& typed,
                                                   const std::vector<Contact>& contacts,
                                                   const std::vector<std::string>& history,
                                                   const DialRules& rules, std::size_t most) {
    const ContactMatcher matcher(typed);
    if (matcher.Empty())
        return {};

    std::map<std::string, std::size_t> sentAt;
    for (std::size_t i = 0; i < history.size(); ++i) {
        if (!TrimBlanks(history[i]).empty())
            sentAt.emplace(NumberKey(history[i], rules), i);
    }

    std::vector<Candidate> candidates;
    std::set<std::string> known;
    for (const Contact& contact : contacts) {
        const std::string foldedName = CaseFolded(contact.name);
        std::set<std::string> ofContact; // a number typed as fax and as voice is offered once
        for (const PhoneNumber& number : contact.numbers) {
            const std::string key = NumberKey(number.number, rules);
            if (!ofContact.insert(key).second)
                continue;
            known.insert(key);
            Candidate candidate;
            candidate.contact = &contact;
            candidate.number = number.number;
            candidate.dialled = DialledNumber(number.number, rules);
            if (const auto found = sentAt.find(key); found != sentAt.end())
                candidate.sent = found->second;
            candidate.source = number.fax                     ? Source::ContactFax
                               : candidate.sent != kNeverSent ? Source::SentBefore
                                                              : Source::ContactOther;
            candidate.foldedName = foldedName;
            candidates.push_back(std::move(candidate));
        }
    }
    for (const auto& [key, at] : sentAt) {
        if (known.contains(key))
            continue;
        Candidate candidate;
        candidate.number = history[at];
        candidate.dialled = CheckFaxNumber(history[at]);
        candidate.sent = at;
        candidates.push_back(std::move(candidate));
    }

    std::vector<Candidate> found;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        candidates[i].order = i;
        candidates[i].match = Find(matcher, candidates[i]);
        if (candidates[i].match != Match::None)
            found.push_back(std::move(candidates[i]));
    }
    std::sort(found.begin(), found.end(),
              [](const Candidate& a, const Candidate& b) { return a.Rank() < b.Rank(); });
    if (found.size() > most)
        found.resize(most);

    std::vector<RecipientSuggestion> suggestions;
    suggestions.reserve(found.size());
    for (const Candidate& candidate : found)
        suggestions.push_back(SuggestionFor(candidate));
    return suggestions;
}

} // namespace qp::contacts
