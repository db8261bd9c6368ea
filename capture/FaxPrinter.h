#pragma once

#include <string>

namespace qp {

// The CUPS queue of the fax printer; queue names allow no blanks, so its info carries the name
// users see.
inline constexpr const char* kFaxQueueName = "Quill_Post";
inline constexpr const char* kFaxPrinterInfo = "Quill Post";
// The backend program under <serverbin>/backend, which plays the part of the port monitor.
inline constexpr const char* kFaxBackendName = "quillpost";
inline constexpr const char* kFaxDriverName = "TW PS Driver";
inline constexpr const char* kFaxPpdFile = "gs.ppd";
inline constexpr const char* kPortFileName = "fax.ps";
// Jobs of this policy need an authenticated user, which cupsd takes from the local peer's
// credentials: nobody can print under another user's name into that user's folder.
inline constexpr const char* kFaxQueuePolicy = "authenticated";

// True for a queue name that, with "_" read as a blank, is "Quill Post" in any letter case.
bool IsFaxPrinterName(const std::string& queueName);

} // namespace qp
