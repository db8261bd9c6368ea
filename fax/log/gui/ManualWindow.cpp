#include "fax/log/gui/ManualWindow.h"

#include "fax/log/gui/WindowLogic.h"
#include "res/Resources.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

constexpr int kWindowWidth = 700;
constexpr int kWindowHeight = 560;

} // namespace

ManualWindow::ManualWindow(QWidget* parent) : QDialog(parent) {
    setWindowIcon(res::IconById(res::kIcon130));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(kWindowWidth, kWindowHeight);
    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The page is laid out in columns for a fixed-width terminal.
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(buttons);
}

void ManualWindow::SetPage(const std::string& title, const std::string& formatted) {
    setWindowTitle(QString::fromStdString(title));
    m_text->setPlainText(QString::fromStdString(qp::window::PlainManualText(formatted)));
}

QString ManualWindow::Text() const {
    return m_text->toPlainText();
}
