#pragma once

#include "base/GreyPicture.h"

#include <optional>
#include <string>

namespace qp {

// What a transmission report says about one sent fax, as the words it prints. The log knows the
// fax and its image; the sender's part comes from the account and the cover sheet, which the
// program adds before the page is drawn.
struct TransmissionFacts {
    std::string when; // the local date and time the fax went
    std::string status;
    std::string fromBox; // the account's message box number
    std::string fromName;
    std::string fromFax;
    std::string fromPhone;
    std::string toName;   // the recipient as typed or picked from the contacts
    std::string toNumber; // the number that was dialled
    int pages = 0;
    std::string resolution;
    int tries = 0;
    // The server's own words on the fax, or what the user was told when it never gave them.
    std::string answer;
    // Page 1 of the fax, reduced; nothing when the image could not be read.
    std::optional<GreyPicture> firstPage;
};

} // namespace qp
