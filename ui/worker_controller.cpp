#include "ui/worker_controller.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "session/launcher_session.h"
#include "session/session_thread.h"

namespace dovrel {

// What the worker holds of the form: a mailbox and a doorbell. It outlives
// the controller; mail left after the controller has gone is never read.
class WorkerController::Link final : public SessionObserver {
 public:
  Link() : m_bell(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;
  ~Link() override {
    if (m_bell >= 0) ::close(m_bell);
  }

  void PhaseChanged(SessionPhase phase) override {
    {
      const std::lock_guard lock(m_mutex);
      m_phases.push_back(phase);
    }
    Ring();
  }

  void Finished(const SessionEnd& end) override {
    {
      const std::lock_guard lock(m_mutex);
      m_end = end;
    }
    Ring();
  }

  void Ask(const UserQuestion& question, const std::shared_ptr<AnswerSlot>& slot) override {
    {
      const std::lock_guard lock(m_mutex);
      m_questions.emplace_back(question, slot);
    }
    Ring();
  }

  void Report(const std::string& line) override {
    // One write per line: lines of two threads never interleave.
    std::fprintf(stderr, "%s\n", line.c_str());
  }

  [[nodiscard]] int Bell() const { return m_bell; }

  // The mail so far, taken out of the box (user-interface thread).
  struct Mail {
    std::vector<SessionPhase> phases;
    std::optional<SessionEnd> end;
    std::vector<std::pair<UserQuestion, std::shared_ptr<AnswerSlot>>> questions;
  };
  Mail Take() {
    std::uint64_t rings = 0;
    [[maybe_unused]] const auto read = ::read(m_bell, &rings, sizeof rings);
    const std::lock_guard lock(m_mutex);
    return {std::exchange(m_phases, {}), std::exchange(m_end, std::nullopt), std::exchange(m_questions, {})};
  }

 private:
  void Ring() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_bell, &one, sizeof one);
  }

  const int m_bell;  // an eventfd
  std::mutex m_mutex;
  std::vector<SessionPhase> m_phases;
  std::optional<SessionEnd> m_end;
  std::vector<std::pair<UserQuestion, std::shared_ptr<AnswerSlot>>> m_questions;
};

WorkerController::WorkerController(SessionSetup setup, QObject* parent)
    : QObject(parent), m_setup(std::move(setup)), m_link(std::make_shared<Link>()) {
  m_mail = new QSocketNotifier(static_cast<qintptr>(m_link->Bell()), QSocketNotifier::Read, this);
  connect(m_mail, &QSocketNotifier::activated, this, &WorkerController::Deliver);
}

WorkerController::~WorkerController() { Stop(); }

void WorkerController::Deliver() {
  Link::Mail mail = m_link->Take();
  for (const SessionPhase phase : mail.phases) emit phaseChanged(phase);
  for (const auto& [question, slot] : mail.questions) emit questionAsked(question, slot);
  if (mail.end) emit finished(*mail.end);
}

bool WorkerController::Start(SessionRequest request, std::shared_ptr<const SshConfigAhead> sshConfig) {
  // Without its doorbell the worker could never tell the form it is done.
  if (m_thread || m_link->Bell() < 0) return false;
  try {
    SessionSetup setup = m_setup;
    setup.sshConfigAhead = std::move(sshConfig);
    auto session = std::make_shared<LauncherSession>(std::move(request), m_link, std::move(setup));
    m_thread = std::make_unique<SessionThread>(session);
    m_session = std::move(session);
    return true;
  } catch (const std::exception&) {
    // No thread (or no descriptor for it): nothing happens.
    m_thread.reset();
    return false;
  }
}

bool WorkerController::Stop() {
  // Nothing more is delivered: the form is going.
  m_mail->setEnabled(false);
  if (!m_thread) return true;
  LauncherSession& session = m_thread->Session();
  session.Abort();
  m_thread->WaitFor(session.HasOpenSocket() ? m_setup.limits.teardownConnected : m_setup.limits.teardownIdle);
  const bool finished = m_thread->IsFinished();
  m_thread.reset();  // joins a finished worker, lets a stuck one go
  return finished;
}

LaunchCause WorkerController::Outcome() const {
  return m_session ? m_session->Outcome() : LaunchCause::kUndecided;
}

}  // namespace dovrel
