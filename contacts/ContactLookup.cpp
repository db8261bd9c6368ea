#include "contacts/ContactLookup.h"

#include "contacts/TextMatch.h"
#include "platform/TextLines.h"

namespace qp::contacts {
namespace {

// The contacts whose field is `folded` whole, else those it begins or has a word beginning with.
std::vector<Contact> FindBy(const std::vector<Contact>& contacts, const std::string& folded,
                            std::string Contact::*field) {
    std::vector<Contact> whole;
    std::vector<Contact> starting;
    for (const Contact& contact : contacts) {
        if (contact.numbers.empty())
            continue;
        const std::string value = CaseFolded(TrimBlanks(contact.*field));
        if (value == folded)
            whole.push_back(contact);
        else if (FindFolded(folded, value) == Match::Prefix)
            starting.push_back(contact);
    }
    return whole.empty() ? starting : whole;
}

} // namespace

std::vector<Contact> FindContactsByName(const std::vector<Contact>& contacts,
                                        const std::string& typed) {
    const std::string folded = CaseFolded(TrimBlanks(typed));
    if (folded.empty())
        return {};
    std::vector<Contact> found = FindBy(contacts, folded, &Contact::name);
    return found.empty() ? FindBy(contacts, folded, &Contact::organisation) : found;
}

} // namespace qp::contacts
