#pragma once

#include "contacts/Contact.h"

#include <string>
#include <string_view>
#include <vector>

namespace qp::contacts {

struct CsvRead {
    std::vector<Contact> contacts;
    // Why the text is no contacts table; empty when it was read.
    std::string problem;
};

// A table of contacts as spreadsheets and address books save it (RFC 4180: commas, double quotes
// around fields that hold commas, quotes or line breaks, "" for a quote). The first row names the
// columns: "name" and "fax" are needed, "organisation" (or "organization") is taken when there;
// others are passed over, in any order, in any case. Each further row is one contact with its fax
// number; rows with nothing in those columns are passed over.
CsvRead ReadCsvContacts(std::string_view text);

} // namespace qp::contacts
