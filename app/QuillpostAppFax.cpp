#include "app/QuillpostApp.h"

#include "fax/Conversion.h"
#include "fax/Viewer.h"

#include <chrono>

namespace {
// How long a send waits for a keyring that has not yet answered at start; a prompt to unlock it
// may still be open, and the user can send again once it is answered.
constexpr std::chrono::seconds kPinWait{10};
} // namespace

qp::Outcome CQuillpostApp::CreateFaxImage(const std::string& coverPath, const std::string& bodyPath,
                                          const std::string& imagePath, int xDpi, int yDpi,
                                          int widthPx, int heightPx, std::stop_token stop) {
    return qp::CreateFaxImage(m_gsPath, coverPath, bodyPath, imagePath,
                              qp::ConversionParams{xDpi, yDpi, widthPx, heightPx}, m_runner,
                              std::move(stop));
}

qp::Outcome CQuillpostApp::UploadFax(const std::string& number, const std::string& email,
                                     const std::string& imagePath,
                                     const qp::UploadProgress& progress, qp::Connector& connector,
                                     std::stop_token stop) {
    if (qp::Outcome pin = WaitForPin(kPinWait, stop); !pin)
        return pin;
    return qp::UploadFax(Account(), number, email, imagePath, progress, connector, std::move(stop));
}

void CQuillpostApp::SetDefaultViewer() {
    const std::string viewer = qp::FirstExistingFile(qp::DefaultViewerCandidates());
    qp::SetDefaultViewer(m_profile, viewer.empty() ? qp::kDefaultViewerPath : viewer);
}
