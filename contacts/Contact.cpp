#include "contacts/Contact.h"

#include <algorithm>

namespace qp::contacts {

std::string Contact::FaxNumber() const {
    // The numbers are kept fax first, so the first one is the one to use.
    return numbers.empty() ? std::string() : numbers.front().number;
}

std::vector<std::string> Contact::FaxNumbers() const {
    std::vector<std::string> found;
    for (const PhoneNumber& number : numbers) {
        if (number.fax || found.empty())
            found.push_back(number.number);
        if (!number.fax)
            break;
    }
    return found;
}

void OrderNumbers(Contact& contact) {
    std::stable_partition(contact.numbers.begin(), contact.numbers.end(),
                          [](const PhoneNumber& number) { return number.fax; });
}

std::string ContactLabel(const Contact& contact) {
    if (contact.name.empty())
        return contact.organisation;
    if (contact.organisation.empty())
        return contact.name;
    return contact.name + " (" + contact.organisation + ")";
}

} // namespace qp::contacts
