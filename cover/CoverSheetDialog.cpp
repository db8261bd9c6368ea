#include "cover/CoverSheetDialog.h"

#include "app/QuillpostApp.h"
#include "cover/CoverFieldsStore.h"
#include "cover/PrinterDevice.h"
#include "platform/MessageBox.h"
#include "shell/DialogStyle.h"
#include "ui_CoverSheetDialog.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

// The profile keeps multi-line fields with CR LF line breaks; the edits show plain line breaks.
QString FromStored(const std::string& value) {
    return QString::fromStdString(value).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::string ToStored(const QString& text) {
    return QString(text).replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toStdString();
}

std::optional<std::string> ChooseLogoFile(QWidget* owner) {
    const QString chosen = QFileDialog::getOpenFileName(
        owner, QString(), QString(),
        QStringLiteral("Bitmap Files (*.bmp);;Images (*.bmp *.png *.jpg *.jpeg)"));
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.toStdString();
}

} // namespace

CoverSheetSeams DefaultCoverSheetSeams() {
    return CoverSheetSeams{qp::FaxPrinterDeviceFactory(), &qp::SystemClock(), ChooseLogoFile};
}

CCoverSheetDialog::CCoverSheetDialog(CQuillpostApp& app, QWidget* parent)
    : CCoverSheetDialog(app, parent, DefaultCoverSheetSeams()) {}

CCoverSheetDialog::CCoverSheetDialog(CQuillpostApp& app, QWidget* parent, CoverSheetSeams seams)
    : QDialog(parent), m_app(app), m_seams(std::move(seams)), m_logo(qp::UserLogoPaths()),
      m_ui(std::make_unique<Ui::CoverSheetDialog>()) {
    m_ui->setupUi(this);
    qp::MakeTopmostFixedDialog(*this);
    connect(m_ui->browseButton, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(m_ui->clearButton, &QPushButton::clicked, this, [this] { OnClear(); });
    connect(m_ui->okButton, &QPushButton::clicked, this, [this] { OnOkButton(); });
    connect(m_ui->cancelButton, &QPushButton::clicked, this, [this] { reject(); });
    OnInitDialog();
}

CCoverSheetDialog::~CCoverSheetDialog() = default;

void CCoverSheetDialog::OnInitDialog() {
    m_ui->logoBox->SetImage(QString::fromStdString(m_logo.logo));
    const qp::CoverFields stored = qp::LoadCoverFields(m_app.Profile());
    m_ui->toEdit->setText(FromStored(stored.to));
    m_ui->reEdit->setText(FromStored(stored.re));
    m_ui->fromEdit->setText(FromStored(stored.from));
    m_ui->faxEdit->setText(FromStored(stored.fax));
    m_ui->phoneEdit->setText(FromStored(stored.phone));
    m_ui->notesEdit->setPlainText(FromStored(stored.notes));
    m_ui->disclosureEdit->setPlainText(FromStored(stored.disclosure));
}

qp::CoverFields CCoverSheetDialog::Fields() const {
    return qp::CoverFields{ToStored(m_ui->toEdit->text()),
                           ToStored(m_ui->reEdit->text()),
                           ToStored(m_ui->fromEdit->text()),
                           ToStored(m_ui->faxEdit->text()),
                           ToStored(m_ui->phoneEdit->text()),
                           ToStored(m_ui->notesEdit->toPlainText()),
                           ToStored(m_ui->disclosureEdit->toPlainText())};
}

bool CCoverSheetDialog::RenderCoverPage() {
    return qp::PrintCoverFile(Fields(), m_logo.logo, m_seams.openPrinter, m_app.m_portFile,
                              m_app.m_coverFile, *m_seams.clock);
}

void CCoverSheetDialog::OnBrowse() {
    const std::optional<std::string> chosen = m_seams.chooseLogo(this);
    if (!chosen)
        return;
    qp::CopyLogoFile(*chosen, m_logo.logo);
    m_ui->logoBox->SetImage(QString::fromStdString(m_logo.logo));
}

void CCoverSheetDialog::OnClear() {
    if (qp::ClearLogo(m_logo))
        m_ui->logoBox->SetImage(QString::fromStdString(m_logo.logo));
}

void CCoverSheetDialog::OnOkButton() {
    m_ui->okButton->setEnabled(false);
    m_ui->cancelButton->setEnabled(false);
    if (!RenderCoverPage()) {
        qp::ShowMessage("Cover sheet creation failed.");
        m_ui->okButton->setEnabled(true);
        m_ui->cancelButton->setEnabled(true);
        return;
    }
    qp::SaveCoverFields(m_app.Profile(), Fields());
    accept();
}

void RunCoverSheetDialog(CQuillpostApp& app, QWidget* parent) {
    CCoverSheetDialog dialog(app, parent);
    dialog.exec();
}
