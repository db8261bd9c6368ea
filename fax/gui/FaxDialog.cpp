#include "fax/gui/FaxDialog.h"

#include "base/DialRules.h"
#include "base/FaxNumber.h"
#include "base/JobCoverText.h"
#include "base/JobPhone.h"
#include "fax/DocumentTitle.h"
#include "fax/FaxImageInfo.h"
#include "fax/gui/UploadProgressBar.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/gui/FixedDialog.h"
#include "res/Resources.h"
#include "ui_faxdialog.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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
    : QDialog(parent), m_services(std::move(services)),
      m_session(
          std::make_unique<qp::SendSession>(std::move(job), m_services, static_cast<View&>(*this))),
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
        // Ahead of the completer's own filter, which takes Enter for itself.
        m_completer->popup()->installEventFilter(this);
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
    // The status line is a line of text, not a field to type in. It holds the focus while work
    // runs, where no key can discard the fax; it is never reached by Tab.
    m_ui->statusLine->setFrame(false);
    m_ui->statusLine->setFocusPolicy(Qt::ClickFocus);
    m_pageCount = new QLabel(this);
    m_pageCount->setObjectName(QStringLiteral("pageCountLabel"));
    m_ui->mainLayout->insertWidget(m_ui->mainLayout->indexOf(m_ui->statusLine), m_pageCount);
    // What is being sent, in the document's own words; the window title stays the program's.
    m_documentTitle = new QLabel(this);
    m_documentTitle->setObjectName(QStringLiteral("documentTitleLabel"));
    m_documentTitle->setTextFormat(Qt::PlainText);
    const QString title = QString::fromStdString(qp::DocumentTitle(CurrentJob().BodyFile()));
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
    connect(m_ui->legalBox, &QCheckBox::toggled, this, [this] { m_session->MarkImageStale(); });

    OnInitDialog();
}

FaxDialog::~FaxDialog() {
    // The work goes first: it may still be using the job.
    m_session.reset();
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
    // The number the print job named, for the user to check, change or send; a resend puts its
    // own recipient over it.
    std::string printedTo = qp::PhoneOfJobFile(CurrentJob().BodyFile());
    // Written with "+" in the print dialog, it is dialled by the account's rules, as a contact's
    // number is; one the rules cannot dial stays as written, for the number check to say why.
    if (printedTo.starts_with('+') && m_services.profile != nullptr) {
        const qp::FaxNumberCheck dialled =
            qp::DialledNumber(printedTo, qp::LoadDialRules(*m_services.profile));
        if (dialled.Ok())
            printedTo = qp::HistoryEntryFor(dialled.number);
    }
    if (!printedTo.empty())
        m_ui->recipientBox->setEditText(QString::fromStdString(printedTo));
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
    m_session->Prepare(std::move(restore), imageRestored);
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
    m_session->LoadHistory();
    m_ui->recipientBox->clear();
    for (const std::string& entry : m_session->History())
        m_ui->recipientBox->addItem(QString::fromStdString(entry));
    m_ui->recipientBox->setCurrentIndex(-1);
    m_ui->recipientBox->setEditText(QString());
}

qp::SendForm FaxDialog::Form() const {
    return qp::SendForm{m_ui->recipientBox->currentText().toStdString(), CurrentChoices(),
                        m_ui->emailField->text().toStdString()};
}

void FaxDialog::EnterState(State state) {
    const bool idle = state == State::Idle;
    if (!idle && state != State::Ended)
        HoldFocusWhileBusy();
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
    if (idle)
        ReturnFocusAfterWork();
}

void FaxDialog::HoldFocusWhileBusy() {
    if (m_holdingFocus)
        return;
    // Taken before the controls are disabled: Qt would pass the focus of a disabled control on to
    // the next one, Cancel, where Space discards the fax.
    m_focusBeforeWork = focusWidget();
    m_holdingFocus = true;
    m_ui->statusLine->setFocus(Qt::OtherFocusReason);
}

void FaxDialog::ReturnFocusAfterWork() {
    if (!m_holdingFocus)
        return;
    m_holdingFocus = false;
    // Only a focus that the work took goes back: one the user moved meanwhile stays.
    if (focusWidget() != m_ui->statusLine)
        return;
    QWidget* back = m_focusBeforeWork;
    if (back == nullptr || !back->isEnabled() || !back->isVisible() || back == m_ui->statusLine)
        back = m_ui->recipientBox;
    back->setFocus(Qt::OtherFocusReason);
}

bool FaxDialog::eventFilter(QObject* watched, QEvent* event) {
    if (m_completer != nullptr && watched == m_completer->popup() &&
        event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && TypedIsFirstSuggestion()) {
            // The number is complete as typed: Enter sends it, as it does without suggestions.
            m_completer->popup()->hide();
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool FaxDialog::TypedIsFirstSuggestion() const {
    // A suggestion the user went to with the arrow keys is theirs to take, as the box always did.
    if (m_suggestions->rowCount() == 0 || m_completer->popup()->selectionModel()->hasSelection())
        return false;
    const std::string typed = m_ui->recipientBox->currentText().toStdString();
    const std::string first = m_suggestions->index(0, 0).data(kNumberRole).toString().toStdString();
    if (typed == first)
        return true;
    const qp::FaxNumberCheck typedNumber = qp::CheckFaxNumber(typed);
    const qp::FaxNumberCheck firstNumber = qp::CheckFaxNumber(first);
    return typedNumber.Ok() && firstNumber.Ok() && typedNumber.number == firstNumber.number;
}

void FaxDialog::ShowPages(int pages) {
    m_pageCount->setText(pages > 0 ? QString::fromStdString(qp::faxlog::PagesText(pages))
                                   : QString());
}

void FaxDialog::ShowStatus(const char* text) {
    m_ui->statusLine->setText(QString::fromLatin1(text));
}

void FaxDialog::ShowMessage(const std::string& text) {
    qp::ShowMessage(text);
}

void FaxDialog::ShowImage(const std::string& imagePath) {
    m_services.preview(imagePath);
}

void FaxDialog::ShowRestored() {
    ShowCoverState();
}

qp::UploadProgress FaxDialog::UploadReporter() {
    // The upload reports from its worker; the updates queue up on the GUI thread ahead of the
    // work's end, so the bar is complete by the time the upload has returned.
    return qp::ProgressBarReporter(m_ui->progressBar, *m_services.clock);
}

void FaxDialog::Stopped() {
    // Stopped by the user: the fax is discarded as a Cancel discards it.
    reject();
}

void FaxDialog::Close(bool sent) {
    QDialog::done(sent ? QDialog::Accepted : QDialog::Rejected);
}

FaxDialog::KeepAnswer FaxDialog::AskToKeep() {
    qp::MessageRequest question;
    question.text = "Keep this fax in the outbox and send it automatically?";
    question.icon = qp::MessageIcon::Question;
    question.buttons = qp::MessageButtons::YesNo;
    question.yesText = "Keep";
    question.noText = "Discard";
    // A question the program's end closes discards nothing: the orderly end keeps the fax.
    question.unanswered = qp::MessageAnswer::Cancel;
    switch (qp::ShowMessage(question)) {
    case qp::MessageAnswer::Yes:
        return KeepAnswer::Keep;
    case qp::MessageAnswer::No:
        return KeepAnswer::Discard;
    case qp::MessageAnswer::Ok:
    case qp::MessageAnswer::Cancel:
        break;
    }
    return KeepAnswer::None;
}

void FaxDialog::OfferSuggestions(const QString& typed) {
    m_suggestions->clear();
    if (typed.trimmed().isEmpty())
        return;
    for (const qp::RecipientSuggestion& suggestion :
         m_services.suggest(typed.toStdString(), m_session->History())) {
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
    const std::string textFile = CurrentJob().CoverTextFile();
    qp::JobCoverText text = qp::ReadJobCoverText(textFile);
    if (!stillPicked) {
        // The To that a contact wrote goes with it; one the user typed in the sheet stays.
        if (!m_coverToFromContact.empty() && text.to == m_coverToFromContact) {
            text.to.clear();
            qp::WriteJobCoverText(textFile, text);
        }
        m_coverToFromContact.clear();
        return;
    }
    text.to = m_pickedContact->name;
    if (!m_pickedContact->organisation.empty())
        text.to += ", " + m_pickedContact->organisation;
    // Without its file the sheet opens with To empty, as it would without a contact.
    qp::WriteJobCoverText(textFile, text);
    m_coverToFromContact = text.to;
}

void FaxDialog::ShowCoverState() {
    const bool haveCover = qp::FileExists(CurrentJob().CoverInput());
    m_ui->coverSheetButton->setText(haveCover ? QStringLiteral("Edit Cover Sheet...")
                                              : QStringLiteral("Add Cover Sheet..."));
}

void FaxDialog::OnPreview() {
    m_session->Preview();
}

void FaxDialog::accept() {
    if (CurrentState() != State::Idle)
        return;
    SaveSettings();
    m_session->Send();
}

void FaxDialog::reject() {
    if (CurrentState() == State::Idle)
        SaveSettings();
    m_session->Cancel();
}

void FaxDialog::closeEvent(QCloseEvent* event) {
    // The close box acts as Cancel; the window goes once the fax is logged.
    event->ignore();
    if (CurrentState() != State::Ended)
        reject();
}

bool FaxDialog::EndForShutdown() {
    return m_session->EndForShutdown();
}

void FaxDialog::OnResolution() {
    m_session->MarkImageStale();
}

void FaxDialog::OnConfigure() {
    if (CurrentState() != State::Idle || !m_services.configure)
        return;
    m_services.configure(this);
}

void FaxDialog::OnCoverSheet() {
    if (CurrentState() != State::Idle || !m_services.coverSheet)
        return;
    FillCoverRecipient();
    QDialog* sheet = m_services.coverSheet(this, CurrentJob().CoverFile());
    if (sheet == nullptr)
        return;
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    // Whatever the sheet did, the image no longer shows what the fax will be.
    connect(sheet, &QDialog::finished, this, [this](int result) {
        m_session->MarkImageStale();
        // A new cover page replaces one restored from the log in PostScript.
        if (result == QDialog::Accepted)
            qp::RemoveFile(CurrentJob().PostScriptCoverFile());
        ShowCoverState();
    });
    sheet->open();
}
