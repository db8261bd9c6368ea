#pragma once

#include "fax/log/FaxLog.h"
#include "fax/log/gui/WindowLogic.h"
#include "fax/outbox/OutboxItem.h"

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QLabel;
class QTabWidget;
class QTableWidget;

// The client's own window: the faxes in the outbox and those sent, the commands for the selected
// one, and the tray menu's commands for desktops that have no tray. Closing it only hides it; the
// client runs on.
class QuillPostWindow final : public QMainWindow {
public:
    enum Column { kTimeColumn, kRecipientColumn, kPagesColumn, kStateColumn, kReasonColumn };

    // What the window runs; it reaches the rest of the program only through these. A command
    // whose callable is empty is left out (or stays disabled).
    struct Services {
        std::function<void(const std::string& imagePath)> view;
        std::function<void(const std::string& reportPath)> openReport;
        std::function<void(const qp::faxlog::Entry&)> sendAgain;

        std::function<std::vector<qp::outbox::Item>()> outbox;
        std::function<void(const std::string& id)> viewQueued;
        std::function<void(const std::string& id)> retryNow;
        std::function<void(const std::string& id)> discard;

        std::function<void()> coverOnly;
        std::function<void()> configuration;
        std::function<void()> about;
        std::function<void()> contacts;
        std::function<void()> checkForUpdates;
        std::function<void()> quit;
        std::function<void()> help;

        // The account's message box number and server host.
        std::function<std::pair<std::string, std::string>()> account;
        std::function<std::int64_t()> now;
        // After the window was closed (hidden).
        std::function<void()> closed;
    };

    QuillPostWindow(qp::faxlog::FaxLog& log, Services services, QWidget* parent = nullptr);

    // Both lists and the status bar read again, the selection kept where it can be.
    void Refresh();
    // The outbox list read again, for each change the outbox tells of.
    void RefreshOutbox();
    void ShowList(qp::window::List list);
    qp::window::List CurrentList() const;

    void Run(qp::window::Command command);
    bool IsEnabled(qp::window::Command command) const;
    // Quit, asking first while faxes wait in the outbox.
    void Quit();

    QTableWidget* Table(qp::window::List list) const;
    QString StatusText() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QTableWidget* MakeTable(const QStringList& headers);
    void AddMenus();
    void AddKeys();
    void Fill(QTableWidget* table, const std::vector<qp::window::Row>& rows);
    void RefreshSent();
    void RefreshStatus();
    qp::window::Selection Selected() const;
    std::string SelectedId(qp::window::List list) const;
    void UpdateCommands();
    void OnDeleteKey();
    void Delete(const qp::faxlog::Entry& entry);
    void Discard(const std::string& id);

    qp::faxlog::FaxLog& m_log;
    Services m_services;
    std::vector<qp::outbox::Item> m_outbox;
    QTabWidget* m_tabs = nullptr;
    QTableWidget* m_outboxTable = nullptr;
    QTableWidget* m_sentTable = nullptr;
    std::map<qp::window::Command, QAction*> m_commands;
    QLabel* m_accountLabel = nullptr;
};
