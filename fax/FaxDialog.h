#pragma once

#include "fax/RecipientHistory.h"
#include "fax/SendSettings.h"
#include "fax/log/SendRecording.h"
#include "platform/Clock.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

class CQuillpostApp;
class QLabel;

namespace Ui {
class FaxDialog;
}

// The dialog in which the user sends one fax: recipient with history, resolution, page length,
// cover sheet, preview, configuration, and Send. The number rules, the history and the choice of
// conversion parameters are plain logic in this folder; this class wires them to the controls.
class FaxDialog : public QDialog {
public:
    explicit FaxDialog(CQuillpostApp& app, QWidget* parent = nullptr,
                       qp::Clock& clock = qp::SystemClock());
    ~FaxDialog() override;

    bool SendFax();
    bool CreateFax();
    void SaveSettings();
    void LoadHistory();
    void SaveHistory(const std::string& entry);

    void OnPreview();
    void OnResolution();
    void OnConfigure();
    void OnCoverSheet();

    bool ImageReady() const { return m_imageReady; }
    // How many send dialogs exist: each one works on the shared work files until it is gone.
    static int OpenDialogs();
    const std::vector<std::string>& History() const { return m_history.Entries(); }

    // Dialogs of other subsystems that this one opens; each is given this dialog as its parent.
    using ChildDialogRunner = std::function<void(CQuillpostApp&, QWidget*)>;
    static void SetConfigureRunner(ChildDialogRunner runner);
    static void SetCoverSheetRunner(ChildDialogRunner runner);

    // Told of every send attempt and of a dialog closed without sending, on a worker thread while
    // the dialog's thread waits with the dialog's input held back.
    using AttemptRecorder = std::function<void(CQuillpostApp&, const qp::faxlog::SendAttempt&)>;
    static void SetAttemptRecorder(AttemptRecorder recorder);

    // A fax sent before, to be sent again: its recipient and choices, and whether the work image
    // is already the one it was sent as.
    void PrepareResend(const std::string& recipient, const qp::SendChoices& choices,
                       bool imageReady);

    // Send (also Enter) and Cancel (also Escape and the close box).
    void accept() override;
    void reject() override;

private:
    void OnInitDialog();
    qp::Resolution ChosenResolution() const;
    void SetSendControlsEnabled(bool enabled);
    void SetStatus(const char* text);
    // Runs a conversion or upload off the GUI thread while the dialog's input is held back; Cancel,
    // Escape and the close box stop it.
    void RunBusy(const std::function<void(std::stop_token)>& work);
    // Once the user has stopped the work, the dialog ends as if cancelled.
    void CancelIfStopped();
    void MarkImageStale();
    void ShowPageCount(bool haveImage);
    void ReportAttempt(qp::faxlog::Outcome outcome, const std::string& dialled,
                       const std::string& message, bool imageMade);

    CQuillpostApp& m_app;
    qp::Clock& m_clock;
    bool m_imageReady = false;
    // A button's delayed click (an accelerator) can still land while the work runs; it must not
    // start a second conversion or upload on the same work files.
    bool m_busy = false;
    // Counts the choices that make an image stale, so a conversion that was running when one came
    // in does not mark its image as current.
    unsigned m_staleMarks = 0;
    // Set once the user has stopped a conversion or upload: the dialog then only ends. Input held
    // back during the work may still arrive afterwards and must not start anything.
    bool m_stopped = false;
    // Set once the dialog has been told to close; input held back meanwhile is not acted on.
    bool m_ended = false;
    // The running work's stop, while there is one.
    std::stop_source* m_stopWork = nullptr;
    qp::RecipientHistory m_history;
    std::unique_ptr<Ui::FaxDialog> m_ui;
    // Says how many pages the converted image has; empty until there is one.
    QLabel* m_pageCount = nullptr;
};

// Runs the send dialog modally for the current work files and returns when it has closed: the
// watcher's send step and the tray's cover-only fax. Widgets live on the GUI thread, so a caller on
// another thread waits there while the dialog runs.
void RunFaxDialog(CQuillpostApp& app);
