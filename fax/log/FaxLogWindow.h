#pragma once

#include "fax/log/FaxLog.h"

#include <QDialog>
#include <functional>
#include <optional>

class CQuillpostApp;
class QPushButton;
class QTableWidget;

// The user's sent faxes, newest first, in a table that sorts by any column; the selected fax can
// be looked at, sent again or removed from the log.
class FaxLogWindow final : public QDialog {
public:
    enum Column { kTimeColumn, kRecipientColumn, kPagesColumn, kOutcomeColumn };

    FaxLogWindow(CQuillpostApp& app, qp::faxlog::FaxLog& log, QWidget* parent = nullptr);

    // What Resend runs for the selected entry; it returns when that fax's dialog has closed.
    using ResendRunner = std::function<void(CQuillpostApp&, const qp::faxlog::Entry&)>;
    void SetResendRunner(ResendRunner runner) { m_resend = std::move(runner); }

    void Reload();
    void OnView();
    void OnResend();
    void OnDelete();

    QTableWidget* Table() const { return m_table; }

private:
    std::optional<qp::faxlog::Entry> SelectedEntry() const;
    void UpdateButtons();

    CQuillpostApp& m_app;
    qp::faxlog::FaxLog& m_log;
    ResendRunner m_resend;
    QTableWidget* m_table = nullptr;
    QPushButton* m_view = nullptr;
    QPushButton* m_resendButton = nullptr;
    QPushButton* m_delete = nullptr;
};

// Sends a logged fax again through the normal send dialog, with its recipient and choices filled
// in, and clears the work files afterwards.
void RunResend(CQuillpostApp& app, const qp::faxlog::Entry& entry);

// "Fax Log...": the window over the user's log, modal; returns when it is closed.
void RunFaxLogWindow(CQuillpostApp& app);
