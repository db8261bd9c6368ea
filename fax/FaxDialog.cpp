#include "fax/FaxDialog.h"

#include "app/QuillpostApp.h"
#include "app/Settings.h"
#include "fax/Conversion.h"
#include "fax/FaxNumber.h"
#include "fax/SendSettings.h"
#include "fax/UploadProgressBar.h"
#include "fax/Viewer.h"
#include "fax/log/FaxImageInfo.h"
#include "platform/ControlLookup.h"
#include "platform/FixedDialog.h"
#include "platform/GuiThread.h"
#include "platform/HeldInputWork.h"
#include "platform/MessageBox.h"
#include "res/Resources.h"
#include "ui_faxdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>
#include <atomic>
#include <mutex>
#include <stop_token>

namespace {

std::mutex g_runnerMutex;
std::atomic<int> g_openDialogs{0};
FaxDialog::ChildDialogRunner g_configureRunner;
FaxDialog::ChildDialogRunner g_coverSheetRunner;
FaxDialog::AttemptRecorder g_attemptRecorder;

template <typename Hook> Hook Runner(const Hook& runner) {
    std::lock_guard<std::mutex> lock(g_runnerMutex);
    return runner;
}

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

FaxDialog::FaxDialog(CQuillpostApp& app, QWidget* parent, qp::Clock& clock)
    : QDialog(parent), m_app(app), m_clock(clock), m_ui(std::make_unique<Ui::FaxDialog>()) {
    ++g_openDialogs;
    m_ui->setupUi(this);
    qp::MakeFixedSizeDialog(*this, true);
    setWindowIcon(res::IconById(res::kIcon130));
    m_ui->recipientBox->setValidator(new UpperCaseValidator(m_ui->recipientBox));
    m_ui->recipientBox->setCompleter(nullptr);
    // The status line is read-only text on the dialog's own background.
    QPalette statusPalette = m_ui->statusLine->palette();
    statusPalette.setColor(QPalette::Base, statusPalette.color(QPalette::Window));
    m_ui->statusLine->setPalette(statusPalette);
    m_ui->coverSheetButton->setEnabled(static_cast<bool>(Runner(g_coverSheetRunner)));
    m_pageCount = new QLabel(this);
    m_pageCount->setObjectName(QStringLiteral("pageCountLabel"));
    m_ui->mainLayout->insertWidget(m_ui->mainLayout->indexOf(m_ui->statusLine), m_pageCount);

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
    qp::ForgetPerFaxCoverFields(m_app.Profile());
    --g_openDialogs;
}

int FaxDialog::OpenDialogs() {
    return g_openDialogs;
}

void FaxDialog::SetConfigureRunner(ChildDialogRunner runner) {
    std::lock_guard<std::mutex> lock(g_runnerMutex);
    g_configureRunner = std::move(runner);
}

void FaxDialog::SetCoverSheetRunner(ChildDialogRunner runner) {
    std::lock_guard<std::mutex> lock(g_runnerMutex);
    g_coverSheetRunner = std::move(runner);
}

void FaxDialog::SetAttemptRecorder(AttemptRecorder recorder) {
    std::lock_guard<std::mutex> lock(g_runnerMutex);
    g_attemptRecorder = std::move(recorder);
}

void FaxDialog::PrepareResend(const std::string& recipient, const qp::SendChoices& choices,
                              bool imageReady) {
    m_ui->normalButton->setChecked(choices.resolution == qp::Resolution::Normal);
    m_ui->fineButton->setChecked(choices.resolution == qp::Resolution::Fine);
    m_ui->highButton->setChecked(choices.resolution == qp::Resolution::High);
    m_ui->legalBox->setChecked(choices.legal);
    m_ui->recipientBox->setEditText(QString::fromStdString(recipient));
    m_imageReady = imageReady;
    ShowPageCount(imageReady);
}

void FaxDialog::ShowPageCount(bool haveImage) {
    m_pageCount->setText(haveImage ? QString::fromStdString(qp::faxlog::PagesText(
                                         qp::faxlog::CountTiffPages(m_app.m_faxImage)))
                                   : QString());
}

void FaxDialog::ReportAttempt(qp::faxlog::Outcome outcome, const std::string& dialled,
                              const std::string& message, bool imageMade) {
    const AttemptRecorder recorder = Runner(g_attemptRecorder);
    if (!recorder)
        return;
    const qp::faxlog::SendAttempt attempt{
        m_ui->recipientBox->currentText().toStdString(),
        dialled,
        qp::SendChoices{ChosenResolution(), m_ui->legalBox->isChecked()},
        outcome,
        message,
        imageMade};
    // The log keeps copies of the work files, and a printed job can be large: they are written off
    // the GUI thread while the dialog's input waits.
    m_busy = true;
    struct BusyEnd {
        bool& busy;
        ~BusyEnd() { busy = false; }
    } end{m_busy};
    qp::RunHoldingInput(this, [&] { recorder(m_app, attempt); });
}

void FaxDialog::OnInitDialog() {
    m_ui->emailField->hide();
    qp::ForgetPerFaxCoverFields(m_app.Profile());

    const qp::SendChoices choices = qp::LoadSendChoices(m_app.Profile());
    switch (choices.resolution) {
    case qp::Resolution::Normal:
        m_ui->normalButton->setChecked(true);
        break;
    case qp::Resolution::High:
        m_ui->highButton->setChecked(true);
        break;
    case qp::Resolution::Fine:
        m_ui->fineButton->setChecked(true);
        break;
    }
    m_ui->legalBox->setChecked(choices.legal);

    LoadHistory();
    m_ui->recipientBox->setFocus();
}

qp::Resolution FaxDialog::ChosenResolution() const {
    if (m_ui->normalButton->isChecked())
        return qp::Resolution::Normal;
    if (m_ui->highButton->isChecked())
        return qp::Resolution::High;
    return qp::Resolution::Fine;
}

void FaxDialog::SaveSettings() {
    qp::SaveSendChoices(m_app.Profile(),
                        qp::SendChoices{ChosenResolution(), m_ui->legalBox->isChecked()});
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

bool FaxDialog::CreateFax() {
    const qp::ConversionParams params =
        qp::ChooseConversionParams(ChosenResolution(), m_ui->legalBox->isChecked());
    const unsigned staleMarksBefore = m_staleMarks;
    bool created = false;
    // Ghostscript may take a while: the dialog keeps painting, its input waits.
    RunBusy([&](std::stop_token stop) {
        created =
            m_app.CreateFaxImage(m_app.m_coverFile, m_app.m_bodyFile, m_app.m_faxImage, params.xDpi,
                                 params.yDpi, params.widthPx, params.heightPx, m_clock, stop);
    });
    // An image that got finished although the user stopped the work is neither sent nor shown.
    created = created && !m_stopped;
    m_imageReady = created && m_staleMarks == staleMarksBefore;
    ShowPageCount(created);
    return created;
}

void FaxDialog::RunBusy(const std::function<void(std::stop_token)>& work) {
    m_busy = true;
    struct BusyEnd {
        bool& busy;
        ~BusyEnd() { busy = false; }
    } end{m_busy};
    std::stop_source stop;
    m_stopWork = &stop;
    struct StopEnd {
        std::stop_source*& current;
        ~StopEnd() { current = nullptr; }
    } stopEnd{m_stopWork};
    const bool stopped = qp::RunHoldingInput(
        this,
        [&] {
            // Once the user has called the work off, its failures are no news to them.
            const qp::QuietMessagesWhen quiet([&stop] { return stop.stop_requested(); });
            work(stop.get_token());
        },
        qp::WorkStop{m_ui->cancelButton, [&stop] { stop.request_stop(); }});
    m_stopped = m_stopped || stopped;
}

void FaxDialog::MarkImageStale() {
    m_imageReady = false;
    ++m_staleMarks;
}

bool FaxDialog::SendFax() {
    const qp::FaxNumberCheck check =
        qp::CheckFaxNumber(m_ui->recipientBox->currentText().toStdString());
    if (!check.Ok()) {
        qp::ShowMessage(check.message);
        return false;
    }
    // The words of a failure go into the log with it.
    qp::faxlog::MessageCapture capture;
    if (!m_imageReady && !CreateFax()) {
        // A conversion the user stopped ends the dialog, which logs it as not sent.
        if (!m_stopped)
            ReportAttempt(qp::faxlog::Outcome::Failed, check.number, capture.LastText(), false);
        return false;
    }

    SetSendControlsEnabled(false);
    const std::string email = m_ui->emailField->text().toStdString();
    SetStatus("Sending fax to server...");

    // The upload reports from its worker; the updates queue up on the GUI thread ahead of the
    // work's end, so the bar is complete by the time the upload has returned.
    const qp::UploadProgress progress = qp::ProgressBarReporter(m_ui->progressBar, m_clock);
    bool uploaded = false;
    RunBusy([&](std::stop_token stop) {
        uploaded = m_app.UploadFax(check.number, email, progress, qp::DefaultFaxConnector(), stop);
    });

    if (!uploaded && m_stopped)
        return false;
    if (!uploaded) {
        SetStatus("Fax upload failed.");
        SetSendControlsEnabled(true);
        ReportAttempt(qp::faxlog::Outcome::Failed, check.number, capture.LastText(), true);
        return false;
    }
    SetStatus("Fax uploaded.");
    SaveHistory(qp::HistoryEntryFor(check.number));
    ReportAttempt(qp::faxlog::Outcome::Sent, check.number, std::string(), true);
    return true;
}

void FaxDialog::OnPreview() {
    if (m_busy || m_stopped || m_ended)
        return;
    if (!CreateFax()) {
        CancelIfStopped();
        return;
    }
    qp::LaunchViewer(m_app.Profile(), m_app.m_faxImage, m_app.Runner());
}

void FaxDialog::SetSendControlsEnabled(bool enabled) {
    m_ui->sendButton->setEnabled(enabled);
    m_ui->previewButton->setEnabled(enabled);
    m_ui->configureButton->setEnabled(enabled);
}

void FaxDialog::SetStatus(const char* text) {
    m_ui->statusLine->setText(QString::fromLatin1(text));
}

void FaxDialog::accept() {
    if (m_busy || m_stopped || m_ended)
        return;
    SaveSettings();
    if (SendFax()) {
        m_ended = true;
        QDialog::accept();
    } else
        CancelIfStopped();
}

void FaxDialog::CancelIfStopped() {
    if (m_stopped)
        reject();
}

void FaxDialog::reject() {
    // A Cancel that lands while the work runs (an accelerator's delayed click) stops the work; the
    // dialog ends as cancelled once the work has returned.
    if (m_busy) {
        m_stopped = true;
        if (m_stopWork != nullptr)
            m_stopWork->request_stop();
        return;
    }
    if (m_ended)
        return;
    m_ended = true;
    SaveSettings();
    const qp::FaxNumberCheck check =
        qp::CheckFaxNumber(m_ui->recipientBox->currentText().toStdString());
    ReportAttempt(qp::faxlog::Outcome::NotSent, check.Ok() ? check.number : std::string(),
                  std::string(), false);
    QDialog::reject();
}

void FaxDialog::OnResolution() {
    MarkImageStale();
}

void FaxDialog::OnConfigure() {
    if (m_busy || m_stopped || m_ended)
        return;
    if (ChildDialogRunner runner = Runner(g_configureRunner))
        runner(m_app, this);
}

void FaxDialog::OnCoverSheet() {
    if (m_busy || m_stopped || m_ended)
        return;
    if (ChildDialogRunner runner = Runner(g_coverSheetRunner))
        runner(m_app, this);
    MarkImageStale();
}

void RunFaxDialog(CQuillpostApp& app) {
    // Never inside another send dialog's conversion or upload: that dialog could not go on until
    // this one had closed.
    qp::RunOnGuiThreadWhenIdle([&app] {
        FaxDialog dialog(app);
        dialog.exec();
    });
}
