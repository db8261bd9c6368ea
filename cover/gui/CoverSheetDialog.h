#pragma once

#include "base/DialogFolder.h"
#include "cover/CoverLogo.h"
#include "cover/CoverPage.h"
#include "platform/Profile.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace Ui {
class CoverSheetDialog;
}

// How the cover sheet dialog draws the cover file and asks the user for a logo; tests give their
// own.
struct CoverSheetSeams {
    // Draws the page into the PDF file; true once the file holds it. Runs off the GUI thread.
    using DrawCover = std::function<bool(const qp::CoverFields& fields, const std::string& logoPath,
                                         const std::string& pdfPath)>;
    DrawCover drawCover;
    // The file the user chose in an open-file dialog opened in `startFolder`, or nothing when
    // cancelled.
    std::function<std::optional<std::string>(QWidget* owner, const std::string& startFolder)>
        chooseLogo;
};
CoverSheetSeams DefaultCoverSheetSeams();

// The file types "Browse..." offers: every picture format a logo is read in, all together first.
QString LogoFileFilter();

// The cover sheet dialog: the seven cover fields and the logo. OK draws the cover page into the
// cover file, off the GUI thread, and only then stores the fields and closes: To, Re and Notes
// beside the cover file, in its job's folder, the others in the settings (CoverFieldsStore); Browse
// and Clear change the logo file at once; Browse opens where it last took a logo from, at first in
// the user's pictures. The dialog cannot be closed while the page is being
// drawn.
class CCoverSheetDialog : public QDialog {
public:
    CCoverSheetDialog(const qp::Profile& profile, std::string coverFile, QWidget* parent = nullptr,
                      CoverSheetSeams seams = DefaultCoverSheetSeams());
    // Waits for a drawing under way: it is short, and it must not outlive the dialog.
    ~CCoverSheetDialog() override;

    // Starts drawing the page from the text in the controls into the cover file; the outcome comes
    // back to the GUI thread.
    void RenderCoverPage();
    void OnBrowse();
    void OnClear();
    void OnOkButton();
    // Cancel, Escape and the close box; nothing while the page is being drawn.
    void reject() override;

    const qp::CoverLogoPaths& LogoPaths() const { return m_logo; }

private:
    void OnInitDialog();
    void OnCoverDrawn(bool drawn, const qp::CoverFields& fields);
    void SetButtonsEnabled(bool enabled);
    qp::CoverFields Fields() const;

    qp::Profile m_profile;
    std::string m_coverFile;
    // This fax's own To, Re and Notes.
    std::string m_faxTextFile;
    CoverSheetSeams m_seams;
    qp::CoverLogoPaths m_logo;
    qp::DialogFolder m_logoFolder;
    std::unique_ptr<Ui::CoverSheetDialog> m_ui;
    bool m_drawing = false;
    std::jthread m_drawer;
};
