#include "cover/gui/CoverSheetDialog.h"

#include "base/JobCoverText.h"
#include "cover/CoverFieldsStore.h"
#include "cover/CoverFile.h"
#include "platform/MessageBox.h"
#include "platform/gui/DialogStyle.h"
#include "ui_CoverSheetDialog.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <system_error>

namespace {

// The profile keeps multi-line fields with CR LF line breaks; the edits show plain line breaks.
QString FromStored(const std::string& value) {
    return QString::fromStdString(value).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::string ToStored(const QString& text) {
    return QString(text).replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toStdString();
}

// A name and company fit the To field whole; the From field is as wide.
constexpr int kNameFieldCharacters = 40;

// Makes the field at least wide enough to show `characters` of its font's 'x', the measure Qt's
// own line edits are sized in, inside its frame and margins.
void ShowCharacters(QLineEdit& edit, int characters) {
    const QFontMetrics metrics(edit.font());
    const QMargins margins = edit.textMargins();
    // The edit's own margin beside its text, which the style does not count.
    constexpr int kInnerMargin = 2;
    const QSize text(metrics.horizontalAdvance(QString(characters, QLatin1Char('x'))) +
                         2 * kInnerMargin + margins.left() + margins.right(),
                     metrics.height() + margins.top() + margins.bottom());
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.lineWidth = edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit);
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    edit.setMinimumWidth(
        edit.style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, &edit).width());
}

std::optional<std::string> ChooseLogoFile(QWidget* owner, const std::string& startFolder) {
    const QString chosen = QFileDialog::getOpenFileName(
        owner, QString(), QString::fromStdString(startFolder), LogoFileFilter());
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.toStdString();
}

} // namespace

QString LogoFileFilter() {
    // The formats the logo is read in, all of them built into Qt's own image plugins; the first
    // entry is the one the file dialog opens with.
    return QStringLiteral("Images (*.bmp *.png *.jpg *.jpeg *.gif);;"
                          "Bitmap Files (*.bmp);;"
                          "PNG Files (*.png);;"
                          "JPEG Files (*.jpg *.jpeg);;"
                          "GIF Files (*.gif)");
}

CoverSheetSeams DefaultCoverSheetSeams() {
    return CoverSheetSeams{qp::DrawCoverFile, ChooseLogoFile};
}

CCoverSheetDialog::CCoverSheetDialog(const qp::Profile& profile, std::string coverFile,
                                     QWidget* parent, CoverSheetSeams seams)
    : QDialog(parent), m_profile(profile), m_coverFile(std::move(coverFile)),
      m_faxTextFile(qp::CoverTextFileBeside(m_coverFile)), m_seams(std::move(seams)),
      m_logo(qp::UserLogoPaths()),
      m_logoFolder(m_profile, qp::kLogoFolderSetting, qp::UserFiles::Pictures),
      m_ui(std::make_unique<Ui::CoverSheetDialog>()) {
    m_ui->setupUi(this);
    ShowCharacters(*m_ui->toEdit, kNameFieldCharacters);
    ShowCharacters(*m_ui->fromEdit, kNameFieldCharacters);
    adjustSize();
    qp::MakeTopmostFixedDialog(*this);
    connect(m_ui->browseButton, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(m_ui->clearButton, &QPushButton::clicked, this, [this] { OnClear(); });
    connect(m_ui->okButton, &QPushButton::clicked, this, [this] { OnOkButton(); });
    connect(m_ui->cancelButton, &QPushButton::clicked, this, [this] { reject(); });
    OnInitDialog();
}

CCoverSheetDialog::~CCoverSheetDialog() {
    // Joined while the dialog is whole: the drawing's last act is to post its outcome to it, and
    // a posted outcome goes with the dialog.
    if (m_drawer.joinable())
        m_drawer.join();
}

void CCoverSheetDialog::OnInitDialog() {
    m_ui->logoBox->SetImage(QString::fromStdString(m_logo.logo));
    const qp::CoverFields stored = qp::LoadCoverFields(m_profile, m_faxTextFile);
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

void CCoverSheetDialog::RenderCoverPage() {
    if (m_drawing)
        return;
    // The page is drawn from the text as it stands now, and that text is what OK stores.
    qp::CoverFields fields = Fields();
    if (m_drawer.joinable())
        m_drawer.join(); // the last drawing has posted its outcome already
    m_drawing = true;
    try {
        m_drawer = std::jthread([this, draw = m_seams.drawCover, fields = std::move(fields),
                                 logo = m_logo.logo, cover = m_coverFile] {
            const bool drawn = draw(fields, logo, cover);
            QMetaObject::invokeMethod(
                this, [this, drawn, fields] { OnCoverDrawn(drawn, fields); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        OnCoverDrawn(false, {});
    }
}

void CCoverSheetDialog::OnBrowse() {
    const std::optional<std::string> chosen = m_seams.chooseLogo(this, m_logoFolder.StartFolder());
    if (!chosen)
        return;
    m_logoFolder.Remember(*chosen);
    qp::CopyLogoFile(*chosen, m_logo.logo);
    m_ui->logoBox->SetImage(QString::fromStdString(m_logo.logo));
}

void CCoverSheetDialog::OnClear() {
    if (qp::ClearLogo(m_logo))
        m_ui->logoBox->SetImage(QString::fromStdString(m_logo.logo));
}

void CCoverSheetDialog::OnOkButton() {
    SetButtonsEnabled(false);
    RenderCoverPage();
}

void CCoverSheetDialog::OnCoverDrawn(bool drawn, const qp::CoverFields& fields) {
    m_drawing = false;
    if (!drawn) {
        qp::ShowMessage("Cover sheet creation failed.");
        SetButtonsEnabled(true);
        return;
    }
    // The page just drawn carries the text; a job folder that took the page but not its text
    // only makes a later edit of this sheet start with To, Re and Notes empty.
    qp::SaveCoverFields(m_profile, m_faxTextFile, fields);
    accept();
}

void CCoverSheetDialog::reject() {
    if (!m_drawing)
        QDialog::reject();
}

void CCoverSheetDialog::SetButtonsEnabled(bool enabled) {
    m_ui->okButton->setEnabled(enabled);
    m_ui->cancelButton->setEnabled(enabled);
}
