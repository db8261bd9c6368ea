#pragma once

#include <string>
#include <vector>

namespace qp::contacts {

// A telephone number as the address book holds it, and whether it was marked as a fax line.
struct PhoneNumber {
    std::string number;
    bool fax = false;

    bool operator==(const PhoneNumber&) const = default;
};

// A person or office to send faxes to. Texts are UTF-8 as read from a file: outside text.
struct Contact {
    std::string name;
    std::string organisation;
    // Fax numbers first, then the others, each kind in the order it was read or typed.
    std::vector<PhoneNumber> numbers;

    bool operator==(const Contact&) const = default;

    // The number a fax goes to: the first fax number, else the first number; empty without one.
    std::string FaxNumber() const;
    // The numbers a fax may go to: every fax number, else the first number; none without one.
    std::vector<std::string> FaxNumbers() const;
};

// Puts the fax numbers before the others, keeping each kind's order.
void OrderNumbers(Contact& contact);

// "Alice Smith (Acme)", "Alice Smith", "Acme", or empty: how one contact is named in lists.
std::string ContactLabel(const Contact& contact);

} // namespace qp::contacts
