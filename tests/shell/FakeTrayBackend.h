#pragma once

#include "shell/TrayBackend.h"
#include "shell/TrayEvents.h"

#include <QCoreApplication>
#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qp::test {

// A tray that records what it is told. Icons 130 and 131 exist; string 130 is the tooltip.
class FakeTrayBackend final : public TrayBackend {
public:
    struct Call {
        TrayAction action;
        NotifyIconData data;
    };
    struct Popup {
        PopupMenu popup;
        int defaultPosition;
        QObject* owner;
    };

    std::vector<Call> calls;
    std::vector<Popup> popups;
    bool refuse = false;
    bool menuMissing = false;
    bool menuEmpty = false;
    // What the user picks from an opened menu; 0 closes it without a choice.
    int choice = 0;

    bool NotifyIcon(TrayAction action, const NotifyIconData& data) override {
        calls.push_back({action, data});
        return !refuse;
    }
    std::string LoadString(int id) override { return id == 130 ? "Quill Post" : ""; }
    IconHandle LoadIcon(int id) override { return (id == 130 || id == 131) ? id : 0; }
    std::optional<Menu> LoadMenu(int id) override {
        if (menuMissing)
            return std::nullopt;
        if (menuEmpty)
            return Menu{};
        return LoadMenuResource(id);
    }
    void TrackPopupMenu(const PopupMenu& popup, int defaultPosition, QObject* owner) override {
        popups.push_back({popup, defaultPosition, owner});
        if (choice != 0)
            QCoreApplication::postEvent(owner, new CommandEvent(choice));
    }
};

// Lends a test's tray to a window that insists on owning its backend.
class BorrowedTrayBackend final : public TrayBackend {
public:
    explicit BorrowedTrayBackend(TrayBackend& target) : m_target(target) {}
    bool NotifyIcon(TrayAction action, const NotifyIconData& data) override {
        return m_target.NotifyIcon(action, data);
    }
    std::string LoadString(int id) override { return m_target.LoadString(id); }
    IconHandle LoadIcon(int id) override { return m_target.LoadIcon(id); }
    std::optional<Menu> LoadMenu(int id) override { return m_target.LoadMenu(id); }
    void TrackPopupMenu(const PopupMenu& popup, int defaultPosition, QObject* owner) override {
        m_target.TrackPopupMenu(popup, defaultPosition, owner);
    }

private:
    TrayBackend& m_target;
};

} // namespace qp::test
