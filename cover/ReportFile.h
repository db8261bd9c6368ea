#pragma once

#include "base/TransmissionFacts.h"
#include "platform/Profile.h"

#include <optional>
#include <string>

namespace qp {

// The transmission report of `facts` as a PDF on the fax printer driver's default page, the
// cover page's paper: its bytes, or nothing when the page could not be drawn. Needs a
// QGuiApplication (fonts), no widgets; may run on any thread.
std::optional<std::string> TransmissionReportPdf(const TransmissionFacts& facts);

// The same from the sender's side: from the account's `messageBox` and the cover sheet's From,
// Fax and Phone as `profile` holds them now.
std::optional<std::string> TransmissionReportPdf(TransmissionFacts facts,
                                                 const std::string& messageBox,
                                                 const Profile& profile);

} // namespace qp
