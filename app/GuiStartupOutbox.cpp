// The outbox's part of the running program: its sends with the account as it is at each try, its
// log entries, its news to the window and the desktop, and what brings its next try forward.
#include "app/GuiStartup.h"

#include "base/AccountStore.h"
#include "base/FaxNumber.h"
#include "base/Settings.h"
#include "contacts/Contact.h"
#include "contacts/ContactBook.h"
#include "fax/FaxImageInfo.h"
#include "fax/Upload.h"
#include "fax/log/gui/QuillPostWindow.h"
#include "fax/outbox/Outbox.h"
#include "fax/outbox/RetrySchedule.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/gui/GuiThread.h"

#include <memory>
#include <string>
#include <utility>

namespace qp {
namespace {

// The dialog's image was made for other choices than those of its last try: the outbox sends
// images as they are and never makes one.
constexpr const char* kImageOutOfDate =
    "The fax must be made again for its changed settings; please press Send.";
constexpr const char* kOutboxNotStarted =
    "The outbox could not be started; faxes waiting in it go out at the next start.";

std::string NoticeFor(const outbox::Event& event, const std::string& to) {
    switch (event.kind) {
    case outbox::Event::Kind::Delivered:
        return "Fax sent to " + to + " after " + std::to_string(event.item.tries) + " tries.";
    case outbox::Event::Kind::GaveUp:
        return "Quill Post gave up sending the fax to " + to + ": " + event.item.reason;
    case outbox::Event::Kind::NeedsAttention:
        return "The fax to " + to + " needs your attention: " + event.item.reason;
    default:
        return {};
    }
}

} // namespace

void GuiStartupServices::StartOutbox() {
    outbox::Services services;
    // Each try reads the account anew: a change in the settings since the last one counts.
    services.upload = [this](const outbox::Item& fax, const std::string& image,
                             const UploadProgress& progress, std::stop_token stop) {
        return UploadFax(m_account, fax.dialled, fax.email, image, progress, DefaultFaxConnector(),
                         std::move(stop));
    };
    services.record = MakeRecord();
    services.giveUpHours = [this] {
        return settings::ReadNumber(m_account.Settings(), outbox::kGiveUpHours);
    };
    services.report = [this, alive = std::weak_ptr<int>(m_alive)](const outbox::Event& event) {
        PostToGuiThreadWhenIdle([this, alive, event] {
            if (alive.lock() && !m_ending)
                OnOutboxEvent(event);
        });
    };
    m_outbox =
        std::make_unique<outbox::Outbox>(JobStore::ForUser(), SystemClock(), std::move(services));
    if (!m_outbox->Start()) {
        m_outbox.reset();
        ShowMessage(kOutboxNotStarted);
        return;
    }
    SetQueueRequestRunner([this](const std::string& id) { return m_outbox->Adopt(id).ok; });
    SetNetworkBackRunner([this] { m_outbox->BringForward(); });
    SetAccountChangedRunner([this] {
        m_account.Reload();
        m_outbox->BringForward();
    });
}

void GuiStartupServices::OnOutboxEvent(const outbox::Event& event) {
    if (m_window) {
        // A fax that left has its row among the sent ones now.
        if (event.kind == outbox::Event::Kind::Removed)
            m_window->Refresh();
        else
            m_window->RefreshOutbox();
    }
    const std::string text = NoticeFor(event, RecipientOf(event.item));
    if (!text.empty())
        Notify(text, [this] { ShowOutbox(); });
}

std::string GuiStartupServices::RecipientOf(const outbox::Item& fax) {
    for (const contacts::Contact& contact : Contacts().Contacts()) {
        for (const contacts::PhoneNumber& number : contact.numbers) {
            const FaxNumberCheck check = CheckFaxNumber(number.number);
            const std::string name = contacts::ContactLabel(contact);
            if (check.Ok() && check.number == fax.dialled && !name.empty())
                return name;
        }
    }
    return HistoryEntryFor(fax.dialled);
}

Outcome GuiStartupServices::KeepInOutbox(Job& job, const faxlog::SendAttempt& lastTry) {
    if (!lastTry.imageMade)
        return Outcome::Failure(kImageOutOfDate);
    outbox::Item fax;
    fax.typed = lastTry.typed;
    fax.dialled = lastTry.dialled;
    fax.email = lastTry.email;
    fax.choices = lastTry.choices;
    fax.tries = lastTry.tries;
    fax.lastKind = lastTry.kind;
    fax.reason = lastTry.message;
    fax.pages = faxlog::CountTiffPages(job.FaxImage());
    return m_outbox->Add(job, std::move(fax));
}

void GuiStartupServices::ShowOutbox() {
    EnsureWindow().ShowList(window::List::Outbox);
    ShowWindow();
}

void GuiStartupServices::QuitAsking() {
    // The window's own Quit asks, counting the faxes as they are now.
    QuillPostWindow& window = EnsureWindow();
    window.RefreshOutbox();
    window.Quit();
}

} // namespace qp
