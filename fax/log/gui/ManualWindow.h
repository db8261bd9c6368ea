#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;

// A manual page's text in a window of its own, for desktops with no viewer for man: links.
class ManualWindow final : public QDialog {
public:
    explicit ManualWindow(QWidget* parent = nullptr);
    // The page as `man` prints it to a pipe; its overstrikes are dropped.
    void SetPage(const std::string& title, const std::string& formatted);
    QString Text() const;

private:
    QPlainTextEdit* m_text = nullptr;
};
