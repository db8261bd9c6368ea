#include "fax/gui/FaxDialog.h"

#include "base/FaxNumber.h"
#include "fax/DocumentTitle.h"
#include "fax/gui/UploadProgressBar.h"
#include "fax/log/FaxImageInfo.h"
#include "fax/log/Resend.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/gui/FixedDialog.h"
#include "res/Resources.h"
#include "ui_faxdialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QStandardItemModel>
#include <QValidator>

namespace {

// The document's title is cut to this many characters, so the dialog keeps its size.
constexpr qsizetype kTitleLength = 80;
// Where a suggestion keeps the number it puts into the box and the contact it came from.
constexpr int kNumberRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;
constexpr int kOrganisationRole = Qt::UserRole + 2;

// Letters typed into the recipient box turn to upper case at once.
class UpperCaseValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

} // namespace

FaxDialog::FaxDialog(qp::Job job, SendDialogServices services, QWidget* parent)
    : QDialog(parent), m_job(std::move(job)), m_services(std::move(services)), m_work(this),
      m_ui(std::make_unique<Ui::FaxDialog>()) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_ui->setupUi(this);
    // Faxes of several jobs may be open side by side; none blocks the others.
    setModal(false);
    qp::MakeFixedSizeDialog(*this, true);
    setWindowIcon(res::IconById(res::kIcon130));
    m_ui->recipientBox->setValidator(new UpperCaseValidator(m_ui->recipientBox));
    m_ui->recipientBox->setCompleter(nullptr);
    if (m_services.suggest) {
        // The suggestions are found by the address book, not by the completer: it shows them all
        // and puts the number, not the line shown, into the box.
        m_suggestions = new QStandardItemModel(this);
        m_completer = new QCompleter(m_suggestions, this);
        m_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
        m_completer->setCompletionRole(kNumberRole);
        m_ui->recipientBox->lineEdit()->setCompleter(m_completer);
        connect(m_ui->recipientBox->lineEdit(), &QLineEdit::textEdited, this,
                [this](const QString& typed) { OfferSuggestions(typed); });
        connect(m_completer, qOverload<const QModelIndex&>(&QCompleter::activated), this,
                [this](const QModelIndex& index) {
                    m_pickedContact = qp::RecipientSuggestion{
                        {},
                        index.data(kNumberRole).toString().toStdString(),
                        index.data(kNameRole).toString().toStdString(),
                        index.data(kOrganisationRole).toString().toStdString()};
                    if (m_pickedContact->name.empty())
                        m_pickedContact.reset();
                });
    }
    // The status line is read-only text on the dialog's own background.
    QPalette statusPalette = m_ui->statusLine->palette();
    statusPalette.setColor(QPalette::Base, statusPalette.color(QPalette::Window));
    m_ui->statusLine->setPalette(statusPalette);
    m_ui->coverSheetButton->setEnabled(static_cast<bool>(m_services.coverSheet));
    // The status line is a line of text, not a field to type in.
    m_ui->statusLine->setFrame(false);
    m_pageCount = new QLabel(this);
    m_pageCount->setObjectName(QStringLiteral("pageCountLabel"));
    m_ui->mainLayout->insertWidget(m_ui->mainLayout->indexOf(m_ui->statusLine), m_pageCount);
    // What is being sent, in the document's own words; the window title stays the program's.
    m_documentTitle = new QLabel(this);
    m_documentTitle->setObjectName(QStringLiteral("documentTitleLabel"));
    m_documentTitle->setTextFormat(Qt::PlainText);
    const QString title = QString::fromStdString(qp::DocumentTitle(m_job.BodyFile()));
    m_documentTitle->setText(title.size() > kTitleLength ? title.left(kTitleLength - 1) + u'…'
                                                         : title);
    m_documentTitle->setVisible(!title.isEmpty());
    m_ui->mainLayout->insertWidget(0, m_documentTitle);
    ShowCoverState();

    connect(m_ui->previewButton, &QPushButton::clicked, this, [this] { OnPreview(); });
    connect(m_ui->configureButton, &QPushButton::clicked, this, [this] { OnConfigure(); });
    connect(m_ui->coverSheetButton, &QPushButton::clicked, this, [this] { OnCoverSheet(); });
    connect(m_ui->sendButton, &QPushButton::clicked, this, [this] { accept(); });
    connect(m_ui->cancelButton, &QPushButton::clicked, this, [this] { reject(); });
    for (QRadioButton* button : {m_ui->normalButton, m_ui->fineButton, m_ui->highButton})
        connect(button, &QRadioButton::clicked, this, [this] { OnResolution(); });
    // The page length is part of the image as much as the resolution is.
    connect(m_ui->legalBox, &QCheckBox::toggled, this, [this] { MarkImageStale(); });

    OnInitDialog();
}

FaxDialog::~FaxDialog() {
    // The work goes first: it may still be using the job.
    m_work.StopAndWait();
    if (m_services.profile != nullptr)
        qp::ForgetPerFaxCoverFields(*m_services.profile);
}

void FaxDialog::OnInitDialog() {
    m_ui->emailField->hide();
    qp::ForgetPerFaxCoverFields(*m_services.profile);

    const qp::SendChoices choices = qp::LoadSendChoices(*m_services.profile);
    m_ui->normalButton->setChecked(choices.resolution == qp::Resolution::Normal);
    m_ui->highButton->setChecked(choices.resolution == qp::Resolution::High);
    m_ui->fineButton->setChecked(choices.resolution == qp::Resolution::Fine);
    m_ui->legalBox->setChecked(choices.legal);

    LoadHistory();
    m_ui->recipientBox->setFocus();
}

void FaxDialog::PrepareResend(const std::string& recipient, const qp::SendChoices& choices,
                              bool imageRestored,
                              std::function<qp::Outcome(const qp::Job&, std::stop_token)> restore) {
    m_ui->normalButton->setChecked(choices.resolution == qp::Resolution::Normal);
    m_ui->fineButton->setChecked(choices.resolution == qp::Resolution::Fine);
    m_ui->highButton->setChecked(choices.resolution == qp::Resolution::High);
    m_ui->legalBox->setChecked(choices.legal);
    m_ui->recipientBox->setEditText(QString::fromStdString(recipient));
    EnterState(State::Preparing);
    const bool started = m_work.Start(
        [this, restore = std::move(restore), imageRestored](std::stop_token stop) {
            qp::Outcome outcome = restore(m_job, stop);
            if (outcome && imageRestored)
                m_pagesMade = qp::faxlog::CountTiffPages(m_job.FaxImage());
            return outcome;
        },
        [this, imageRestored](const qp::Outcome& outcome) {
            if (!outcome || m_cancelRequested) {
                if (!m_cancelRequested)
                    qp::ShowMessage(qp::faxlog::kResendCopyFailedMessage);
                // Nothing of the fax was sent or kept: the job goes without a log entry.
                qp::JobStore::Remove(std::move(m_job));
                EnterState(State::Ended);
                QDialog::done(QDialog::Rejected);
                return;
            }
            m_imageReady = imageRestored;
            ShowPageCount(imageRestored ? m_pagesMade.load() : 0);
            ShowCoverState();
            EnterState(State::Idle);
        });
    if (!started) {
        qp::ShowMessage(qp::faxlog::kResendCopyFailedMessage);
        EnterState(State::Idle);
    }
}

qp::Resolution FaxDialog::ChosenResolution() const {
    if (m_ui->normalButton->isChecked())
        return qp::Resolution::Normal;
    if (m_ui->highButton->isChecked())
        return qp::Resolution::High;
    return qp::Resolution::Fine;
}

qp::SendChoices FaxDialog::CurrentChoices() const {
    return qp::SendChoices{ChosenResolution(), m_ui->legalBox->isChecked()};
}

void FaxDialog::SaveSettings() {
    qp::SaveSendChoices(*m_services.profile, CurrentChoices());
}

void FaxDialog::LoadHistory() {
    m_history.LoadHistory();
    m_ui->recipientBox->clear();
    for (const std::string& entry : m_history.Entries())
        m_ui->recipientBox->addItem(QString::fromStdString(entry));
    m_ui->recipientBox->setCurrentIndex(-1);
    m_ui->recipientBox->setEditText(QString());
}

void FaxDialog::SaveHistory(const std::string& entry) {
    // The fax is already on the server; a history that cannot be written keeps its old contents.
    m_history.SaveHistory(entry);
}

void FaxDialog::EnterState(State state) {
    m_state = state;
    const bool idle = state == State::Idle;
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_ui->sendButton, m_ui->previewButton, m_ui->configureButton, m_ui->recipientBox,
             m_ui->normalButton, m_ui->fineButton, m_ui->highButton, m_ui->legalBox})
        control->setEnabled(idle);
    m_ui->coverSheetButton->setEnabled(idle && static_cast<bool>(m_services.coverSheet));
    // Cancel stays: it stops the work.
    m_ui->cancelButton->setEnabled(state != State::Ended && state != State::Recording);
    if (idle || state == State::Ended)
        m_busyScope.reset();
    else if (!m_busyScope)
        m_busyScope.emplace();
}

void FaxDialog::ShowPageCount(int pages) {
    m_pageCount->setText(pages > 0 ? QString::fromStdString(qp::faxlog::PagesText(pages))
                                   : QString());
}

qp::faxlog::SendAttempt FaxDialog::Attempt(qp::faxlog::Outcome outcome, const std::string& dialled,
                                           const qp::SendChoices& choices,
                                           const std::string& message, bool imageMade) const {
    return qp::faxlog::SendAttempt{m_ui->recipientBox->currentText().toStdString(),
                                   dialled,
                                   choices,
                                   outcome,
                                   message,
                                   imageMade,
                                   m_tries};
}

void FaxDialog::StartConversion(Pending pending) {
    const qp::ConversionParams params =
        qp::ChooseConversionParams(pending.choices.resolution, pending.choices.legal);
    EnterState(State::Converting);
    m_current = pending;
    m_imageReady = false;
    const bool started = m_work.Start(
        [this, params](std::stop_token stop) {
            qp::Outcome outcome = m_services.convert(m_job, params, stop);
            m_pagesMade = outcome ? qp::faxlog::CountTiffPages(m_job.FaxImage()) : 0;
            return outcome;
        },
        [this, pending](const qp::Outcome& outcome) { OnConverted(pending, outcome); });
    if (!started)
        OnConverted(pending, qp::Outcome::Failure("Unable to create fax: no thread to run it"));
}

void FaxDialog::OnConverted(const Pending& pending, const qp::Outcome& outcome) {
    if (m_cancelRequested || (!outcome && outcome.message.empty())) {
        EndStopped();
        return;
    }
    ShowPageCount(outcome ? m_pagesMade.load() : 0);
    if (!outcome) {
        qp::ShowMessage(outcome.message);
        if (pending.send)
            NoteFailure(Attempt(qp::faxlog::Outcome::Failed, pending.number, pending.choices,
                                outcome.message, false));
        EnterState(State::Idle);
        return;
    }
    m_imageReady = true;
    if (pending.send) {
        StartUpload(pending);
        return;
    }
    EnterState(State::Idle);
    m_services.preview(m_job.FaxImage());
}

void FaxDialog::StartUpload(Pending pending) {
    EnterState(State::Uploading);
    m_current = pending;
    SetStatus("Sending fax to server...");
    const std::string email = m_ui->emailField->text().toStdString();
    // The upload reports from its worker; the updates queue up on the GUI thread ahead of the
    // work's end, so the bar is complete by the time the upload has returned.
    const qp::UploadProgress progress =
        qp::ProgressBarReporter(m_ui->progressBar, *m_services.clock);
    const bool started = m_work.Start(
        [this, number = pending.number, email, progress](std::stop_token stop) {
            return m_services.upload(number, email, m_job.FaxImage(), progress, stop);
        },
        [this, pending](const qp::Outcome& outcome) { OnUploaded(pending, outcome); });
    if (!started)
        OnUploaded(pending, qp::Outcome::Failure("Fax upload failed."));
}

void FaxDialog::OnUploaded(const Pending& pending, const qp::Outcome& outcome) {
    if (outcome) {
        SetStatus("Fax uploaded.");
        SaveHistory(qp::HistoryEntryFor(pending.number));
        Record(Attempt(qp::faxlog::Outcome::Sent, pending.number, pending.choices, {}, true),
               QDialog::Accepted);
        return;
    }
    if (m_cancelRequested || outcome.message.empty()) {
        EndStopped();
        return;
    }
    SetStatus("Fax upload failed.");
    qp::ShowMessage(outcome.message);
    NoteFailure(Attempt(qp::faxlog::Outcome::Failed, pending.number, pending.choices,
                        outcome.message, true));
    EnterState(State::Idle);
}

void FaxDialog::OfferSuggestions(const QString& typed) {
    m_suggestions->clear();
    if (typed.trimmed().isEmpty())
        return;
    for (const qp::RecipientSuggestion& suggestion :
         m_services.suggest(typed.toStdString(), m_history.Entries())) {
        auto* item = new QStandardItem(QString::fromStdString(suggestion.shown));
        item->setData(QString::fromStdString(suggestion.number), kNumberRole);
        item->setData(QString::fromStdString(suggestion.name), kNameRole);
        item->setData(QString::fromStdString(suggestion.organisation), kOrganisationRole);
        item->setEditable(false);
        m_suggestions->appendRow(item);
    }
    if (m_suggestions->rowCount() > 0)
        m_completer->complete();
}

void FaxDialog::FillCoverRecipient() {
    const bool stillPicked = m_pickedContact && m_ui->recipientBox->currentText().toStdString() ==
                                                    m_pickedContact->number;
    if (!stillPicked) {
        // The To that a contact wrote goes with it; one the user typed in the sheet stays.
        if (!m_coverToFromContact.empty() &&
            qp::CoverRecipient(*m_services.profile) == m_coverToFromContact)
            qp::SetCoverRecipient(*m_services.profile, std::string());
        m_coverToFromContact.clear();
        return;
    }
    std::string to = m_pickedContact->name;
    if (!m_pickedContact->organisation.empty())
        to += ", " + m_pickedContact->organisation;
    qp::SetCoverRecipient(*m_services.profile, to);
    m_coverToFromContact = to;
}

void FaxDialog::NoteFailure(qp::faxlog::SendAttempt attempt) {
    m_lastFailure = std::move(attempt);
}

void FaxDialog::ShowCoverState() {
    const bool haveCover = qp::FileExists(m_job.CoverInput());
    m_ui->coverSheetButton->setText(haveCover ? QStringLiteral("Edit Cover Sheet...")
                                              : QStringLiteral("Add Cover Sheet..."));
}

void FaxDialog::Record(qp::faxlog::SendAttempt attempt, std::optional<int> endWith) {
    EnterState(State::Recording);
    auto notice = std::make_shared<std::string>();
    // The log keeps copies of the job's files, and a printed job can be large: they are written
    // off the GUI thread. A dialog that ends takes its job with it, once the log has its copy.
    const bool started = m_work.Start(
        [this, attempt, endWith, notice](std::stop_token) {
            if (m_services.record)
                *notice = m_services.record(attempt, m_job);
            if (endWith)
                qp::JobStore::Remove(std::move(m_job));
            return qp::Outcome::Success();
        },
        [this, endWith, notice](const qp::Outcome&) {
            if (!notice->empty() && m_services.notify)
                m_services.notify(*notice);
            if (!endWith) {
                EnterState(State::Idle);
                return;
            }
            EnterState(State::Ended);
            QDialog::done(*endWith);
        });
    if (!started && endWith) {
        qp::JobStore::Remove(std::move(m_job));
        EnterState(State::Ended);
        QDialog::done(*endWith);
    } else if (!started) {
        EnterState(State::Idle);
    }
}

void FaxDialog::EndStopped() {
    // Stopped by the user: the fax is discarded as a Cancel discards it.
    m_cancelRequested = false;
    EnterState(State::Idle);
    reject();
}

void FaxDialog::MarkImageStale() {
    m_imageReady = false;
}

void FaxDialog::OnPreview() {
    if (m_state != State::Idle)
        return;
    StartConversion(Pending{{}, CurrentChoices(), false});
}

void FaxDialog::SetStatus(const char* text) {
    m_ui->statusLine->setText(QString::fromLatin1(text));
}

void FaxDialog::accept() {
    if (m_state != State::Idle)
        return;
    SaveSettings();
    const qp::FaxNumberCheck check =
        qp::CheckFaxNumber(m_ui->recipientBox->currentText().toStdString());
    if (!check.Ok()) {
        qp::ShowMessage(check.message);
        return;
    }
    // The choices are read once, here: the image, the upload and the log entry all follow them.
    Pending pending{check.number, CurrentChoices(), true};
    ++m_tries;
    m_lastFailure.reset();
    if (m_imageReady)
        StartUpload(std::move(pending));
    else
        StartConversion(std::move(pending));
}

void FaxDialog::reject() {
    switch (m_state) {
    case State::Preparing:
    case State::Converting:
    case State::Uploading:
        // The work stops first; the dialog ends as cancelled once it has.
        m_cancelRequested = true;
        m_work.RequestStop();
        return;
    case State::Recording:
    case State::Ended:
        return;
    case State::Idle:
        break;
    }
    SaveSettings();
    // One entry for the fax: the last try's failure when it stands; "not sent" for a printed
    // document or a fax that was tried; nothing for a cover-only fax never tried.
    if (m_lastFailure) {
        Record(*m_lastFailure, QDialog::Rejected);
        return;
    }
    if (m_tries == 0 && !qp::FileExists(m_job.BodyFile())) {
        qp::JobStore::Remove(std::move(m_job));
        EnterState(State::Ended);
        QDialog::done(QDialog::Rejected);
        return;
    }
    const qp::FaxNumberCheck check =
        qp::CheckFaxNumber(m_ui->recipientBox->currentText().toStdString());
    Record(Attempt(qp::faxlog::Outcome::NotSent, check.Ok() ? check.number : std::string(),
                   CurrentChoices(), {}, false),
           QDialog::Rejected);
}

void FaxDialog::closeEvent(QCloseEvent* event) {
    // The close box acts as Cancel; the window goes once the fax is logged.
    event->ignore();
    if (m_state != State::Ended)
        reject();
}

bool FaxDialog::EndForShutdown() {
    const State state = m_state;
    bool sent = false;
    if (state == State::Preparing) {
        // A restore half done is of no use; the logged fax is still in the log.
        m_work.StopAndWait();
        qp::JobStore::Remove(std::move(m_job));
        EnterState(State::Ended);
        QDialog::done(QDialog::Rejected);
        return false;
    }
    if (state == State::Recording) {
        // The fax's last entry is being written; it ends as it was meant to.
        m_work.Wait();
        EnterState(State::Ended);
        QDialog::done(QDialog::Rejected);
        return false;
    }
    if (state == State::Ended)
        return false;
    const std::optional<qp::Outcome> outcome = m_work.StopAndWait();
    sent = state == State::Uploading && outcome && outcome->ok && m_current;
    std::string dialled;
    if (sent) {
        dialled = m_current->number;
    } else if (const qp::FaxNumberCheck check =
                   qp::CheckFaxNumber(m_ui->recipientBox->currentText().toStdString());
               check.Ok()) {
        dialled = check.number;
    }
    const qp::faxlog::SendAttempt attempt =
        Attempt(sent ? qp::faxlog::Outcome::Sent : qp::faxlog::Outcome::NotSent, dialled,
                sent ? m_current->choices : CurrentChoices(),
                !sent && m_lastFailure ? m_lastFailure->message : std::string(), sent);
    if (m_services.record)
        m_services.record(attempt, m_job);
    if (sent) {
        SaveHistory(qp::HistoryEntryFor(dialled));
        qp::JobStore::Remove(std::move(m_job));
    }
    EnterState(State::Ended);
    QDialog::done(sent ? QDialog::Accepted : QDialog::Rejected);
    return !sent;
}

void FaxDialog::OnResolution() {
    MarkImageStale();
}

void FaxDialog::OnConfigure() {
    if (m_state != State::Idle || !m_services.configure)
        return;
    m_services.configure(this);
}

void FaxDialog::OnCoverSheet() {
    if (m_state != State::Idle || !m_services.coverSheet)
        return;
    FillCoverRecipient();
    QDialog* sheet = m_services.coverSheet(this, m_job.CoverFile());
    if (sheet == nullptr)
        return;
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    // Whatever the sheet did, the image no longer shows what the fax will be.
    connect(sheet, &QDialog::finished, this, [this](int result) {
        MarkImageStale();
        // A new cover page replaces one restored from the log in PostScript.
        if (result == QDialog::Accepted)
            qp::RemoveFile(m_job.PostScriptCoverFile());
        ShowCoverState();
    });
    sheet->open();
}
