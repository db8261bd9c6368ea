#pragma once

#include "base/TransmissionFacts.h"
#include "fax/log/FaxLog.h"

#include <string>

namespace qp::faxlog {

// What the transmission report of a logged fax says, from its record and its image (page 1
// reduced, when the image can be read); the sender's part is left for the program to fill in.
TransmissionFacts ReportFactsFor(const Record& record, const std::string& imagePath);

} // namespace qp::faxlog
