#pragma once

#include "cover/CoverLogo.h"
#include "cover/CoverPage.h"
#include "cover/DrawingDevice.h"
#include "platform/Clock.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class CQuillpostApp;

namespace Ui {
class CoverSheetDialog;
}

// What the cover sheet dialog prints on, waits with and asks the user for a logo with; tests
// give their own.
struct CoverSheetSeams {
    qp::DrawingDeviceFactory openPrinter;
    qp::Clock* clock = nullptr;
    // The file the user chose in an open-file dialog, or nothing when cancelled.
    std::function<std::optional<std::string>(QWidget* owner)> chooseLogo;
};
CoverSheetSeams DefaultCoverSheetSeams();

// The cover sheet dialog: the seven cover fields and the logo. OK prints the cover page into the
// cover file and only then stores the fields; Browse and Clear change the logo file at once.
class CCoverSheetDialog : public QDialog {
public:
    explicit CCoverSheetDialog(CQuillpostApp& app, QWidget* parent = nullptr);
    CCoverSheetDialog(CQuillpostApp& app, QWidget* parent, CoverSheetSeams seams);
    ~CCoverSheetDialog() override;

    // Prints the page from the text in the controls and moves it into the cover file.
    bool RenderCoverPage();
    void OnBrowse();
    void OnClear();
    void OnOkButton();

    const qp::CoverLogoPaths& LogoPaths() const { return m_logo; }

private:
    void OnInitDialog();
    qp::CoverFields Fields() const;

    CQuillpostApp& m_app;
    CoverSheetSeams m_seams;
    qp::CoverLogoPaths m_logo;
    std::unique_ptr<Ui::CoverSheetDialog> m_ui;
};

// Runs the cover sheet dialog modally over the send dialog; the send dialog's cover button.
void RunCoverSheetDialog(CQuillpostApp& app, QWidget* parent);
