#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

#include "session/launch/session_observer.h"
#include "session/launch/session_request.h"

namespace dovrel {

class LauncherSession;
class SessionThread;

// Owns the form's worker: starts it, hands its phases and its end to the
// form as signals on the user-interface thread, and stops it.
//
// The worker reaches the controller through a link it shares: it leaves
// what it says in the link's mailbox (under a mutex of its own) and wakes the
// controller through an eventfd, which a socket notifier watches in this
// thread; the controller takes the mail and emits it as signals here. So the
// worker never touches a Qt object, and what it leaves after the controller
// has gone is never read.
class WorkerController final : public QObject {
  Q_OBJECT
 public:
  explicit WorkerController(SessionSetup setup, QObject* parent = nullptr);
  ~WorkerController() override;
  WorkerController(const WorkerController&) = delete;
  WorkerController& operator=(const WorkerController&) = delete;

  // Starts one worker for `request`, with ssh's configuration where it was
  // read ahead; false when none could start (no thread).
  bool Start(SessionRequest request, std::shared_ptr<const SshConfigAhead> sshConfig = nullptr);
  // Where and how the worker will work.
  [[nodiscard]] const SessionSetup& Setup() const { return m_setup; }
  [[nodiscard]] bool Started() const { return m_thread != nullptr; }
  // Stops a running worker and waits for it, at most the teardown limits of
  // the table. True when no worker is left running.
  bool Stop();
  // Why the worker's launch ended (kUndecided when none was started).
  [[nodiscard]] LaunchCause Outcome() const;

 signals:
  void phaseChanged(dovrel::SessionPhase phase);
  void finished(const dovrel::SessionEnd& end);
  // The launch waits for the user's decision; the answer goes in `slot`.
  void questionAsked(const dovrel::UserQuestion& question, const std::shared_ptr<dovrel::AnswerSlot>& slot);

 private:
  class Link;
  // The worker has left mail: emits it.
  void Deliver();

  SessionSetup m_setup;
  std::shared_ptr<Link> m_link;
  QSocketNotifier* m_mail = nullptr;
  std::shared_ptr<LauncherSession> m_session;  // kept to read its outcome
  std::unique_ptr<SessionThread> m_thread;
};

}  // namespace dovrel
