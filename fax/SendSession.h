#pragma once

#include "base/BackgroundWork.h"
#include "base/Job.h"
#include "fax/RecipientHistory.h"
#include "fax/Recorded.h"
#include "fax/SendAttempt.h"
#include "fax/SendSettings.h"
#include "fax/Upload.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace qp {

// What sending one fax works with. The conversion, upload and log run on the session's worker
// thread; notify on the thread that owns the session.
struct SendServices {
    // Makes the job's image from its cover and body.
    std::function<qp::Outcome(const Job&, const ConversionParams&, std::stop_token)> convert;
    std::function<qp::Outcome(const std::string& number, const std::string& email,
                              const std::string& imagePath, const UploadProgress&, std::stop_token)>
        upload;
    // Keeps the attempt in the log with the job's files: whether the entry is on disk, what the
    // desktop is to be told about it, and what the user is told when it is not.
    std::function<faxlog::Recorded(const faxlog::SendAttempt&, const Job&)> record;
    std::function<void(const std::string& text)> notify;
    // Takes a fax whose last try failed for a passing reason, to be sent again without its
    // window, and becomes the one owner of its job: it moves the job out of `job` only when it
    // succeeds, and then logs the fax itself at its end. `lastTry` carries the number as typed and
    // dialled, the choices, the tries so far and, in imageMade, whether the job's image follows
    // those choices and is to be sent as it is. Runs on the session's worker thread. Unset: a
    // fax lives only as long as its window.
    std::function<qp::Outcome(Job& job, const faxlog::SendAttempt& lastTry)> keep;
};

// What the user has filled in for the fax.
struct SendForm {
    std::string typed; // the recipient as typed
    SendChoices choices;
    std::string email;
};

// The send of one fax, from its job to its one log entry: the preview and send requests, the
// conversion and upload in the background, the tries and the last failure, the cancel and the
// orderly end. It owns the job: it alone touches the job's files, and it removes the job once the
// fax, sent or cancelled, is logged on disk; a fax the log cannot take stays in its job folder. A
// window shows it through a View, on the thread that owns it.
class SendSession {
public:
    enum class State { Preparing, Idle, Converting, Uploading, Recording, Ended };
    // The user's answer to keeping a fax that may go later; None when nobody answered (the
    // program is ending): the fax stays as it is.
    enum class KeepAnswer { Keep, Discard, None };

    class View {
    public:
        // What the window holds at the moment it is asked.
        virtual SendForm Form() const = 0;
        virtual void EnterState(State state) = 0;
        virtual void ShowStatus(const char* text) = 0;
        // Pages of the image just made or restored; 0 when there is none.
        virtual void ShowPages(int pages) = 0;
        virtual void ShowMessage(const std::string& text) = 0;
        // The image made for a preview.
        virtual void ShowImage(const std::string& imagePath) = 0;
        // The job's files are back from the log.
        virtual void ShowRestored() = 0;
        // Where the upload about to start reports from its thread.
        virtual UploadProgress UploadReporter() = 0;
        // The work the user stopped has ended: the fax is discarded as a Cancel discards it.
        virtual void Stopped() = 0;
        // The session has ended; `sent` when the fax went.
        virtual void Close(bool sent) = 0;
        // The last try failed for a reason that may pass, and the user closes the fax: it may
        // wait to be sent later instead of being discarded.
        virtual KeepAnswer AskToKeep() = 0;

    protected:
        ~View() = default;
    };

    SendSession(Job job, SendServices services, View& view);
    SendSession(const SendSession&) = delete;
    SendSession& operator=(const SendSession&) = delete;

    State CurrentState() const { return m_state; }
    bool ImageReady() const { return m_imageReady; }
    const Job& CurrentJob() const { return m_job; }
    const std::vector<std::string>& History() const { return m_history.Entries(); }
    void LoadHistory() { m_history.LoadHistory(); }
    // A choice that the image follows has changed.
    void MarkImageStale() { m_imageReady = false; }

    // A fax sent before, to be sent again: `restore` puts its files into the job in the
    // background; the image counts as current when it was restored too.
    void Prepare(std::function<qp::Outcome(const Job&, std::stop_token)> restore,
                 bool imageRestored);
    // Both only while idle.
    void Preview();
    void Send();
    // While work runs it is stopped, and the session ends as cancelled once it has. While idle the
    // fax gets its one log entry and the session ends; after a try that failed for a reason that
    // may pass, the user may keep it to be sent later instead (see SendServices::keep).
    void Cancel();
    // The program is ending: work under way is stopped and waited for, and the fax is logged as
    // not sent and its job kept to be offered again, unless the upload had finished or the server
    // had every byte of the image (then it is logged as sent, not confirmed). A sent fax whose
    // entry the log cannot take is kept too. Returns whether the job is kept.
    bool EndForShutdown();

private:
    struct Pending {
        std::string number;
        SendChoices choices;
        bool send = false; // else a preview
    };

    void Enter(State state);
    void StartConversion(Pending pending);
    void OnConverted(const Pending& pending, const qp::Outcome& outcome);
    void StartUpload(Pending pending);
    void OnUploaded(const Pending& pending, const qp::Outcome& outcome);
    // Logs the attempt in the background; then the session ends, and its job goes once the entry
    // is on disk.
    void Record(faxlog::SendAttempt attempt, bool sent);
    // Logs the attempt on the calling thread and removes the job once the entry is on disk.
    faxlog::Recorded RecordAndRelease(const faxlog::SendAttempt& attempt);
    faxlog::SendAttempt Attempt(faxlog::Outcome outcome, const std::string& dialled,
                                const SendChoices& choices, const std::string& message,
                                bool imageMade) const;
    void EndStopped();
    void Finish(bool sent);
    // Whether the fax is one the user may keep to be sent later.
    bool MayKeep() const;
    // Hands the job over in the background; the session ends once it is taken, and goes back to
    // idle with the user told when it is not.
    void HandOver();

    Job m_job;
    SendServices m_services;
    View& m_view;
    RecipientHistory m_history;
    // The work's outcomes arrive through the event queue of this object's thread.
    QObject m_context;
    BackgroundWork m_work{&m_context};
    State m_state = State::Idle;
    bool m_imageReady = false;
    // The send or preview under way, or the last one.
    std::optional<Pending> m_current;
    // The user asked to end while work ran: the session ends as cancelled once the work stops.
    bool m_cancelRequested = false;
    std::atomic<int> m_pagesMade{0};
    // Presses of Send that reached the work, and the last one's failure while it stands: the log
    // gets one entry for the fax, when the session ends.
    int m_tries = 0;
    std::optional<faxlog::SendAttempt> m_lastFailure;
    // A fax the server received but never confirmed, from the moment the upload says so: an
    // orderly end while the user is told about it logs it as such.
    std::optional<faxlog::SendAttempt> m_sentUnconfirmed;
    // The user is being asked whether to keep the fax, and the job is being handed over.
    bool m_askingToKeep = false;
    bool m_handingOver = false;
};

} // namespace qp
