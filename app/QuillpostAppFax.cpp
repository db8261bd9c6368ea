#include "app/QuillpostApp.h"

#include "fax/Conversion.h"
#include "fax/Viewer.h"

qp::Outcome CQuillpostApp::CreateFaxImage(const std::string& coverPath, const std::string& bodyPath,
                                          const std::string& imagePath, int xDpi, int yDpi,
                                          int widthPx, int heightPx,
                                          std::stop_token stop) {
    return qp::CreateFaxImage(m_gsPath, coverPath, bodyPath, imagePath,
                              qp::ConversionParams{xDpi, yDpi, widthPx, heightPx}, m_runner,
                              std::move(stop));
}

qp::Outcome CQuillpostApp::UploadFax(const std::string& number, const std::string& email,
                                     const std::string& imagePath,
                                     const qp::UploadProgress& progress, qp::Connector& connector,
                                     std::stop_token stop) {
    return qp::UploadFax(Account(), number, email, imagePath, progress, connector, std::move(stop));
}

void CQuillpostApp::SetDefaultViewer() {
    const std::string viewer = qp::FirstExistingFile(qp::DefaultViewerCandidates());
    qp::SetDefaultViewer(m_profile, viewer.empty() ? qp::kDefaultViewerPath : viewer);
}
