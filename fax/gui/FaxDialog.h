#pragma once

#include "base/Job.h"
#include "base/RecipientSuggestion.h"
#include "fax/SendSession.h"
#include "fax/SendSettings.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "platform/gui/GuiThread.h"

#include <QDialog>
#include <QPointer>
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

// What the send dialog works with, given by whoever opens it: the send's own services, and those
// of the window, which run on the GUI thread.
struct SendDialogServices : qp::SendServices {
    const qp::Profile* profile = nullptr;
    // Paces the upload's progress bar.
    qp::Clock* clock = &qp::SystemClock();
    // Shows the image in the preview viewer.
    std::function<void(const std::string& imagePath)> preview;
    // The account configuration, over the send dialog.
    std::function<void(QWidget* parent)> configure;
    // The cover sheet dialog that draws the cover page into `coverFile`; not shown yet.
    std::function<QDialog*(QWidget* parent, const std::string& coverFile)> coverSheet;
    // Ways to finish the recipient being typed, from contacts and the history the dialog shows;
    // none without it.
    std::function<std::vector<qp::RecipientSuggestion>(const std::string& typed,
                                                       const std::vector<std::string>& history)>
        suggest;
};

// The dialog in which the user sends one fax: recipient with history, resolution, page length,
// cover sheet, preview, configuration, and Send. Its SendSession owns the job and runs the
// conversion, upload and logging in the background; while they do, the controls are disabled and
// Cancel (also Escape and the close box) stops the work. The session, the number rules, the
// history and the choice of conversion parameters are plain logic; this class wires them to the
// controls.
class FaxDialog : public QDialog, private qp::SendSession::View {
public:
    using State = qp::SendSession::State;
    using KeepAnswer = qp::SendSession::KeepAnswer;

    FaxDialog(qp::Job job, SendDialogServices services, QWidget* parent = nullptr);
    ~FaxDialog() override;

    void LoadHistory();
    void SaveSettings();

    void OnPreview();
    void OnResolution();
    void OnConfigure();
    void OnCoverSheet();

    State CurrentState() const { return m_session->CurrentState(); }
    bool ImageReady() const { return m_session->ImageReady(); }
    const qp::Job& CurrentJob() const { return m_session->CurrentJob(); }
    const std::vector<std::string>& History() const { return m_session->History(); }

    // A fax sent before, to be sent again: `restore` puts its files into the job in the
    // background; the recipient and choices are filled in, and the image counts as current when
    // it was restored too.
    void PrepareResend(const std::string& recipient, const qp::SendChoices& choices,
                       bool imageRestored,
                       std::function<qp::Outcome(const qp::Job&, std::stop_token)> restore);

    // The program is ending: see SendSession::EndForShutdown. Returns whether the job is kept.
    // The dialog closes without a word.
    bool EndForShutdown();

    // Send (also Enter) and Cancel (also Escape and the close box).
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Enter on the suggestions.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the session reads and shows.
    qp::SendForm Form() const override;
    void EnterState(State state) override;
    void ShowStatus(const char* text) override;
    void ShowPages(int pages) override;
    void ShowMessage(const std::string& text) override;
    void ShowImage(const std::string& imagePath) override;
    void ShowRestored() override;
    qp::UploadProgress UploadReporter() override;
    void Stopped() override;
    void Close(bool sent) override;
    KeepAnswer AskToKeep() override;

    void OnInitDialog();
    qp::Resolution ChosenResolution() const;
    qp::SendChoices CurrentChoices() const;
    // "Add Cover Sheet..." until the job has a cover page, "Edit Cover Sheet..." after.
    void ShowCoverState();
    void OfferSuggestions(const QString& typed);
    // Whether Enter on the suggestions is meant for Send: no other suggestion is chosen, and the
    // first one is the number typed.
    bool TypedIsFirstSuggestion() const;
    // While work runs the focus rests on the status line, and goes back when the work ends.
    void HoldFocusWhileBusy();
    void ReturnFocusAfterWork();
    // A contact picked for this fax names the cover page's recipient.
    void FillCoverRecipient();

    SendDialogServices m_services;
    std::unique_ptr<qp::SendSession> m_session;
    // Held while work runs and until its result has been shown: windows that others ask for
    // meanwhile wait.
    std::optional<qp::GuiWorkScope> m_busyScope;
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
    // Where the focus was when the work began.
    QPointer<QWidget> m_focusBeforeWork;
    bool m_holdingFocus = false;
};
