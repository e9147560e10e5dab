#pragma once

#include <QObject>

#include <memory>

#include "session/session_observer.h"
#include "session/session_request.h"

namespace dovrel {

class LauncherSession;
class SessionThread;

// Owns the form's worker: starts it, hands its phases and its end to the
// form as signals on the user-interface thread, and stops it.
//
// The worker reaches the controller through a link it shares: each call is
// queued into this thread with copied arguments, and emitted here as a
// signal. A call still queued when the controller goes is dropped by Qt;
// once the controller is gone, the link passes nothing on.
class WorkerController final : public QObject {
  Q_OBJECT
 public:
  explicit WorkerController(SessionSetup setup, QObject* parent = nullptr);
  ~WorkerController() override;
  WorkerController(const WorkerController&) = delete;
  WorkerController& operator=(const WorkerController&) = delete;

  // Starts one worker for `request`; false when none could start (no thread).
  bool Start(SessionRequest request);
  [[nodiscard]] bool Started() const { return m_thread != nullptr; }
  // Stops a running worker and waits for it, at most the teardown limits of
  // the table. True when no worker is left running.
  bool Stop();
  // How the worker's launch ended (kNotRun when none was started).
  [[nodiscard]] SessionOutcome Outcome() const;

 signals:
  void phaseChanged(dovrel::SessionPhase phase);
  void finished(const dovrel::SessionEnd& end);

 private:
  class Link;

  SessionSetup m_setup;
  std::shared_ptr<Link> m_link;
  std::shared_ptr<LauncherSession> m_session;  // kept to read its outcome
  std::unique_ptr<SessionThread> m_thread;
};

}  // namespace dovrel
