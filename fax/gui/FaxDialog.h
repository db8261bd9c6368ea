#pragma once

#include "base/BackgroundWork.h"
#include "base/Job.h"
#include "base/RecipientSuggestion.h"
#include "fax/RecipientHistory.h"
#include "fax/SendSettings.h"
#include "fax/Upload.h"
#include "fax/log/SendRecording.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "platform/gui/GuiThread.h"

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class QCompleter;
class QLabel;
class QStandardItemModel;

namespace Ui {
class FaxDialog;
}

// What the send dialog works with, given by whoever opens it. The conversion, upload, log and
// restore run on the dialog's worker thread; the others on the GUI thread.
struct SendDialogServices {
    const qp::Profile* profile = nullptr;
    qp::Clock* clock = &qp::SystemClock();
    // Makes the job's image from its cover and body.
    std::function<qp::Outcome(const qp::Job&, const qp::ConversionParams&, std::stop_token)>
        convert;
    std::function<qp::Outcome(const std::string& number, const std::string& email,
                              const std::string& imagePath, const qp::UploadProgress&,
                              std::stop_token)>
        upload;
    // Shows the image in the preview viewer.
    std::function<void(const std::string& imagePath)> preview;
    // The account configuration, over the send dialog.
    std::function<void(QWidget* parent)> configure;
    // The cover sheet dialog that draws the cover page into `coverFile`; not shown yet.
    std::function<QDialog*(QWidget* parent, const std::string& coverFile)> coverSheet;
    // Keeps the attempt in the log with the job's files; returns what the desktop is to be told
    // about it, or nothing.
    std::function<std::string(const qp::faxlog::SendAttempt&, const qp::Job&)> record;
    std::function<void(const std::string& text)> notify;
    // Ways to finish the recipient being typed, from contacts and the history the dialog shows;
    // none without it.
    std::function<std::vector<qp::RecipientSuggestion>(const std::string& typed,
                                                       const std::vector<std::string>& history)>
        suggest;
};

// The dialog in which the user sends one fax: recipient with history, resolution, page length,
// cover sheet, preview, configuration, and Send. It owns its job: it alone touches the job's files,
// and it removes the job once the fax is logged, sent or cancelled. Conversion, upload and logging
// run in the background; while they do, the controls are disabled and Cancel (also Escape and the
// close box) stops the work. The number rules, the history and the choice of conversion
// parameters are plain logic in this folder; this class wires them to the controls.
class FaxDialog : public QDialog {
public:
    enum class State { Preparing, Idle, Converting, Uploading, Recording, Ended };

    FaxDialog(qp::Job job, SendDialogServices services, QWidget* parent = nullptr);
    ~FaxDialog() override;

    void LoadHistory();
    void SaveSettings();
    void SaveHistory(const std::string& entry);

    void OnPreview();
    void OnResolution();
    void OnConfigure();
    void OnCoverSheet();

    State CurrentState() const { return m_state; }
    bool ImageReady() const { return m_imageReady; }
    const qp::Job& CurrentJob() const { return m_job; }
    const std::vector<std::string>& History() const { return m_history.Entries(); }

    // A fax sent before, to be sent again: `restore` puts its files into the job in the
    // background; the recipient and choices are filled in, and the image counts as current when
    // it was restored too.
    void PrepareResend(const std::string& recipient, const qp::SendChoices& choices,
                       bool imageRestored,
                       std::function<qp::Outcome(const qp::Job&, std::stop_token)> restore);

    // The program is ending: work under way is stopped and waited for, and the fax is logged as
    // not sent and its job kept to be offered again, unless the upload had finished. Returns
    // whether the job is kept. The dialog closes without a word.
    bool EndForShutdown();

    // Send (also Enter) and Cancel (also Escape and the close box).
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Pending {
        std::string number;
        qp::SendChoices choices;
        bool send = false; // else a preview
    };

    void OnInitDialog();
    qp::Resolution ChosenResolution() const;
    qp::SendChoices CurrentChoices() const;
    void SetStatus(const char* text);
    void EnterState(State state);
    void StartConversion(Pending pending);
    void OnConverted(const Pending& pending, const qp::Outcome& outcome);
    void StartUpload(Pending pending);
    void OnUploaded(const Pending& pending, const qp::Outcome& outcome);
    // Logs the attempt in the background; then the dialog ends with `result`, or goes on when the
    // attempt failed.
    void Record(qp::faxlog::SendAttempt attempt, std::optional<int> endWith);
    qp::faxlog::SendAttempt Attempt(qp::faxlog::Outcome outcome, const std::string& dialled,
                                    const qp::SendChoices& choices, const std::string& message,
                                    bool imageMade) const;
    void EndStopped();
    void MarkImageStale();
    void ShowPageCount(int pages);
    // "Add Cover Sheet..." until the job has a cover page, "Edit Cover Sheet..." after.
    void ShowCoverState();
    void NoteFailure(qp::faxlog::SendAttempt attempt);
    void OfferSuggestions(const QString& typed);
    // A contact picked for this fax names the cover page's recipient.
    void FillCoverRecipient();

    qp::Job m_job;
    SendDialogServices m_services;
    qp::BackgroundWork m_work;
    State m_state = State::Idle;
    // Held while work runs and until its result has been shown: windows that others ask for
    // meanwhile wait.
    std::optional<qp::GuiWorkScope> m_busyScope;
    bool m_imageReady = false;
    // The send or preview under way, or the last one.
    std::optional<Pending> m_current;
    // The user asked to end the dialog while work ran: it ends as cancelled once the work stops.
    bool m_cancelRequested = false;
    std::atomic<int> m_pagesMade{0};
    // Presses of Send that reached the work, and the last one's failure while it stands: the log
    // gets one entry for the fax, when the dialog closes.
    int m_tries = 0;
    std::optional<qp::faxlog::SendAttempt> m_lastFailure;
    qp::RecipientHistory m_history;
    std::unique_ptr<Ui::FaxDialog> m_ui;
    // Says how many pages the converted image has; empty until there is one.
    QLabel* m_pageCount = nullptr;
    // The printed document's own title, when it has one.
    QLabel* m_documentTitle = nullptr;
    QCompleter* m_completer = nullptr;
    QStandardItemModel* m_suggestions = nullptr;
    // The contact last picked from the suggestions, while the box still holds its number.
    std::optional<qp::RecipientSuggestion> m_pickedContact;
    // The cover page's To as the picked contact filled it in.
    std::string m_coverToFromContact;
};
