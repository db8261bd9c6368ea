#pragma once

#include "fax/log/FaxLog.h"

#include <QDialog>
#include <functional>
#include <optional>

class QPushButton;
class QTableWidget;

// The user's sent faxes, newest first, in a table that sorts by any column; the selected fax can
// be looked at, sent again or removed from the log.
class FaxLogWindow final : public QDialog {
public:
    enum Column { kTimeColumn, kRecipientColumn, kPagesColumn, kOutcomeColumn };

    // Shows a logged image in the preview viewer.
    using Viewer = std::function<void(const std::string& imagePath)>;
    // Opens a send dialog for the entry; it does not wait for the dialog.
    using ResendRunner = std::function<void(const qp::faxlog::Entry&)>;

    FaxLogWindow(qp::faxlog::FaxLog& log, Viewer view, ResendRunner resend,
                 QWidget* parent = nullptr);

    void Reload();
    void OnView();
    void OnResend();
    void OnDelete();

    QTableWidget* Table() const { return m_table; }

private:
    std::optional<qp::faxlog::Entry> SelectedEntry() const;
    void UpdateButtons();

    qp::faxlog::FaxLog& m_log;
    Viewer m_viewer;
    ResendRunner m_resend;
    QTableWidget* m_table = nullptr;
    QPushButton* m_view = nullptr;
    QPushButton* m_resendButton = nullptr;
    QPushButton* m_delete = nullptr;
};
