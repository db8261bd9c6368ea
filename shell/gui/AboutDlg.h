#pragma once

#include <QDialog>

// The about box: the program's icon and version, and OK.
class CAboutDlg final : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
