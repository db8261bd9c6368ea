#include "fax/SendSession.h"

#include "base/FaxNumber.h"
#include "fax/FaxImageInfo.h"
#include "platform/FileOps.h"

#include <memory>

namespace qp {

SendSession::SendSession(Job job, SendServices services, View& view)
    : m_job(std::move(job)), m_services(std::move(services)), m_view(view) {}

void SendSession::Enter(State state) {
    m_state = state;
    m_view.EnterState(state);
}

void SendSession::Finish(bool sent) {
    Enter(State::Ended);
    m_view.Close(sent);
}

void SendSession::Prepare(std::function<qp::Outcome(const Job&, std::stop_token)> restore,
                          bool imageRestored) {
    Enter(State::Preparing);
    const bool started = m_work.Start(
        [this, restore = std::move(restore), imageRestored](std::stop_token stop) {
            qp::Outcome outcome = restore(m_job, stop);
            if (outcome && imageRestored)
                m_pagesMade = faxlog::CountTiffPages(m_job.FaxImage());
            return outcome;
        },
        [this, imageRestored](const qp::Outcome& outcome) {
            if (!outcome || m_cancelRequested) {
                if (!m_cancelRequested)
                    m_view.ShowMessage(faxlog::kResendCopyFailedMessage);
                // Nothing of the fax was sent or kept: the job goes without a log entry.
                JobStore::Remove(std::move(m_job));
                Finish(false);
                return;
            }
            m_imageReady = imageRestored;
            m_view.ShowPages(imageRestored ? m_pagesMade.load() : 0);
            m_view.ShowRestored();
            Enter(State::Idle);
        });
    if (!started) {
        m_view.ShowMessage(faxlog::kResendCopyFailedMessage);
        Enter(State::Idle);
    }
}

faxlog::SendAttempt SendSession::Attempt(faxlog::Outcome outcome, const std::string& dialled,
                                         const SendChoices& choices, const std::string& message,
                                         bool imageMade) const {
    return faxlog::SendAttempt{m_view.Form().typed, dialled, choices, outcome, message,
                               imageMade,           m_tries};
}

void SendSession::Preview() {
    if (m_state != State::Idle)
        return;
    StartConversion(Pending{{}, m_view.Form().choices, false});
}

void SendSession::Send() {
    if (m_state != State::Idle)
        return;
    const SendForm form = m_view.Form();
    const FaxNumberCheck check = CheckFaxNumber(form.typed);
    if (!check.Ok()) {
        m_view.ShowMessage(check.message);
        return;
    }
    // The choices are read once, here: the image, the upload and the log entry all follow them.
    Pending pending{check.number, form.choices, true};
    ++m_tries;
    m_lastFailure.reset();
    if (m_imageReady)
        StartUpload(std::move(pending));
    else
        StartConversion(std::move(pending));
}

void SendSession::StartConversion(Pending pending) {
    const ConversionParams params =
        ChooseConversionParams(pending.choices.resolution, pending.choices.legal);
    Enter(State::Converting);
    m_current = pending;
    m_imageReady = false;
    const bool started = m_work.Start(
        [this, params](std::stop_token stop) {
            qp::Outcome outcome = m_services.convert(m_job, params, stop);
            m_pagesMade = outcome ? faxlog::CountTiffPages(m_job.FaxImage()) : 0;
            return outcome;
        },
        [this, pending](const qp::Outcome& outcome) { OnConverted(pending, outcome); });
    if (!started)
        OnConverted(pending, qp::Outcome::Failure("Unable to create fax: no thread to run it"));
}

void SendSession::OnConverted(const Pending& pending, const qp::Outcome& outcome) {
    if (m_cancelRequested || (!outcome && outcome.message.empty())) {
        EndStopped();
        return;
    }
    m_view.ShowPages(outcome ? m_pagesMade.load() : 0);
    if (!outcome) {
        m_view.ShowMessage(outcome.message);
        if (pending.send)
            m_lastFailure = Attempt(faxlog::Outcome::Failed, pending.number, pending.choices,
                                    outcome.message, false);
        Enter(State::Idle);
        return;
    }
    m_imageReady = true;
    if (pending.send) {
        StartUpload(pending);
        return;
    }
    Enter(State::Idle);
    m_view.ShowImage(m_job.FaxImage());
}

void SendSession::StartUpload(Pending pending) {
    Enter(State::Uploading);
    m_current = pending;
    m_view.ShowStatus("Sending fax to server...");
    const std::string email = m_view.Form().email;
    const UploadProgress progress = m_view.UploadReporter();
    const bool started = m_work.Start(
        [this, number = pending.number, email, progress](std::stop_token stop) {
            qp::Outcome outcome =
                m_services.upload(number, email, m_job.FaxImage(), progress, stop);
            // The fax is on the server: its number goes into the history here, where a wait for
            // another writer of the history holds up no window. A history that cannot be written
            // keeps its old contents.
            if (outcome)
                m_history.SaveHistory(HistoryEntryFor(number));
            return outcome;
        },
        [this, pending](const qp::Outcome& outcome) { OnUploaded(pending, outcome); });
    if (!started)
        OnUploaded(pending, qp::Outcome::Failure("Fax upload failed."));
}

void SendSession::OnUploaded(const Pending& pending, const qp::Outcome& outcome) {
    if (outcome.unconfirmed) {
        // Sent, even when the user asked to stop: the server has every byte, and only its word
        // that it kept the fax is missing. Kept first, so that an orderly end while the message
        // shows logs it as it is.
        m_view.ShowStatus("Fax sent, not confirmed.");
        m_sentUnconfirmed = Attempt(faxlog::Outcome::NotConfirmed, pending.number, pending.choices,
                                    outcome.message, true);
        m_view.ShowMessage(outcome.message);
        if (m_state != State::Ended)
            Record(*m_sentUnconfirmed, true);
        return;
    }
    if (outcome) {
        m_view.ShowStatus("Fax uploaded.");
        faxlog::SendAttempt sent =
            Attempt(faxlog::Outcome::Sent, pending.number, pending.choices, {}, true);
        sent.answer = outcome.answer;
        Record(std::move(sent), true);
        return;
    }
    if (m_cancelRequested || outcome.message.empty()) {
        EndStopped();
        return;
    }
    m_view.ShowStatus("Fax upload failed.");
    m_view.ShowMessage(outcome.message);
    m_lastFailure =
        Attempt(faxlog::Outcome::Failed, pending.number, pending.choices, outcome.message, true);
    m_lastFailure->kind = outcome.kind;
    Enter(State::Idle);
}

faxlog::Recorded SendSession::RecordAndRelease(const faxlog::SendAttempt& attempt) {
    faxlog::Recorded recorded;
    if (m_services.record)
        recorded = m_services.record(attempt, m_job);
    if (recorded.onDisk)
        JobStore::Remove(std::move(m_job));
    return recorded;
}

void SendSession::Record(faxlog::SendAttempt attempt, bool sent) {
    Enter(State::Recording);
    auto recorded = std::make_shared<faxlog::Recorded>();
    auto done = [this, sent, recorded](const qp::Outcome&) {
        if (!recorded->message.empty())
            m_view.ShowMessage(recorded->message);
        if (!recorded->notice.empty() && m_services.notify)
            m_services.notify(recorded->notice);
        Finish(sent);
    };
    // The log keeps copies of the job's files, and a printed job can be large: they are written
    // off the GUI thread. The job goes once the log has its copy on disk.
    const bool started = m_work.Start(
        [this, attempt, recorded](std::stop_token) {
            *recorded = RecordAndRelease(attempt);
            return qp::Outcome::Success();
        },
        done);
    if (!started) {
        *recorded = RecordAndRelease(attempt);
        done(qp::Outcome::Success());
    }
}

void SendSession::EndStopped() {
    m_cancelRequested = false;
    Enter(State::Idle);
    m_view.Stopped();
}

void SendSession::Cancel() {
    switch (m_state) {
    case State::Preparing:
    case State::Converting:
    case State::Uploading:
        // The work stops first; the session ends as cancelled once it has.
        m_cancelRequested = true;
        m_work.RequestStop();
        return;
    case State::Recording:
    case State::Ended:
        return;
    case State::Idle:
        break;
    }
    // One entry for the fax: the last try's failure when it stands; "not sent" for a printed
    // document or a fax that was tried; nothing for a cover-only fax never tried.
    if (m_lastFailure) {
        if (MayKeep()) {
            // A close asked for while the question waits is the same close.
            if (m_askingToKeep)
                return;
            m_askingToKeep = true;
            const KeepAnswer answer = m_view.AskToKeep();
            m_askingToKeep = false;
            // The question had an event loop of its own: the program may have ended the session
            // meanwhile, and an unanswered question leaves the fax as it is.
            if (m_state != State::Idle || answer == KeepAnswer::None)
                return;
            if (answer == KeepAnswer::Keep) {
                HandOver();
                return;
            }
        }
        Record(*m_lastFailure, false);
        return;
    }
    if (m_tries == 0 && !FileExists(m_job.BodyFile())) {
        JobStore::Remove(std::move(m_job));
        Finish(false);
        return;
    }
    const SendForm form = m_view.Form();
    const FaxNumberCheck check = CheckFaxNumber(form.typed);
    Record(Attempt(faxlog::Outcome::NotSent, check.Ok() ? check.number : std::string(),
                   form.choices, {}, false),
           false);
}

bool SendSession::MayKeep() const {
    return m_services.keep && m_lastFailure &&
           qp::Outcome::Failure(m_lastFailure->message, m_lastFailure->kind).Passing();
}

void SendSession::HandOver() {
    faxlog::SendAttempt lastTry = *m_lastFailure;
    // The image goes again as it is only while it follows the try's choices: a choice changed
    // or a preview made since has made it another fax's.
    lastTry.imageMade = m_imageReady && m_current && m_current->choices == lastTry.choices;
    lastTry.email = m_view.Form().email;
    Enter(State::Recording);
    m_handingOver = true;
    auto done = [this](const qp::Outcome& kept) {
        m_handingOver = false;
        // Taken: whoever took it logs the fax at its end.
        if (kept) {
            Finish(false);
            return;
        }
        if (!kept.message.empty())
            m_view.ShowMessage(kept.message);
        Enter(State::Idle);
    };
    // Keeping it writes to disk, which may take its time.
    const bool started = m_work.Start(
        [this, lastTry](std::stop_token) { return m_services.keep(m_job, lastTry); }, done);
    if (!started)
        done(m_services.keep(m_job, lastTry));
}

bool SendSession::EndForShutdown() {
    State state = m_state;
    if (state == State::Recording && m_handingOver) {
        // A fax being handed over ends there when it is taken, and as an idle one otherwise.
        const std::optional<qp::Outcome> kept = m_work.Wait();
        m_handingOver = false;
        if (kept && kept->ok) {
            Finish(false);
            return false;
        }
        m_state = state = State::Idle;
    }
    if (state == State::Preparing) {
        // A restore half done is of no use; the logged fax is still in the log.
        m_work.StopAndWait();
        JobStore::Remove(std::move(m_job));
        Finish(false);
        return false;
    }
    if (state == State::Recording) {
        // The fax's last entry is being written; it ends as it was meant to.
        m_work.Wait();
        Finish(false);
        return false;
    }
    if (state == State::Ended)
        return false;
    const std::optional<qp::Outcome> outcome = m_work.StopAndWait();
    // A stop after the server had every byte leaves the fax sent but unconfirmed: never offered
    // again.
    if (state == State::Uploading && outcome && outcome->unconfirmed && m_current)
        m_sentUnconfirmed = Attempt(faxlog::Outcome::NotConfirmed, m_current->number,
                                    m_current->choices, outcome->message, true);
    const bool sent =
        m_sentUnconfirmed || (state == State::Uploading && outcome && outcome->ok && m_current);
    const SendForm form = m_view.Form();
    std::string dialled;
    if (sent) {
        dialled = m_current->number;
    } else if (const FaxNumberCheck check = CheckFaxNumber(form.typed); check.Ok()) {
        dialled = check.number;
    }
    faxlog::SendAttempt attempt =
        m_sentUnconfirmed
            ? *m_sentUnconfirmed
            : Attempt(sent ? faxlog::Outcome::Sent : faxlog::Outcome::NotSent, dialled,
                      sent ? m_current->choices : form.choices,
                      !sent && m_lastFailure ? m_lastFailure->message : std::string(), sent);
    if (sent && !m_sentUnconfirmed)
        attempt.answer = outcome->answer;
    // A finished upload has put its number into the history already. A fax not sent keeps its job
    // to be offered again; a sent one goes once its entry is on disk. No window opens while the
    // program ends: an entry the log cannot take is written at the next start, from the job kept
    // for it.
    bool kept = true;
    if (sent)
        kept = !RecordAndRelease(attempt).onDisk;
    else if (m_services.record)
        m_services.record(attempt, m_job);
    Finish(sent);
    return kept;
}

} // namespace qp
