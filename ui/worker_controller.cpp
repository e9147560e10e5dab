#include "ui/worker_controller.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cstdio>
#include <mutex>
#include <utility>

#include "session/launcher_session.h"
#include "session/session_thread.h"

namespace dovrel {

// What the worker holds of the form: it outlives the controller, and passes
// nothing on once the controller is gone.
class WorkerController::Link final : public SessionObserver {
 public:
  explicit Link(WorkerController* controller) : m_controller(controller) {}

  void PhaseChanged(SessionPhase phase) override {
    Post([phase](WorkerController* controller) { emit controller->phaseChanged(phase); });
  }

  void Finished(const SessionEnd& end) override {
    Post([end](WorkerController* controller) { emit controller->finished(end); });
  }

  void Report(const std::string& line) override {
    // One write per line: lines of two threads never interleave.
    std::fprintf(stderr, "%s\n", line.c_str());
  }

  [[nodiscard]] std::string Translate(const char* context, const char* source) const override {
    // The translators are installed before any worker starts, and only read.
    return QCoreApplication::translate(context, source).toStdString();
  }

  // The controller is going (user-interface thread).
  void Detach() {
    const std::lock_guard lock(m_mutex);
    m_controller = nullptr;
  }

 private:
  // Queues `emitter` into the controller's thread. Detach() takes the mutex
  // before the controller is destroyed, so it is alive while the call is
  // queued; Qt drops the call if it dies first.
  template <typename Emitter>
  void Post(Emitter emitter) {
    const std::lock_guard lock(m_mutex);
    if (m_controller == nullptr) return;
    WorkerController* controller = m_controller;
    QMetaObject::invokeMethod(
        controller, [controller, emitter = std::move(emitter)] { emitter(controller); }, Qt::QueuedConnection);
  }

  std::mutex m_mutex;
  WorkerController* m_controller;  // null once detached
};

WorkerController::WorkerController(SessionSetup setup, QObject* parent)
    : QObject(parent), m_setup(std::move(setup)), m_link(std::make_shared<Link>(this)) {}

WorkerController::~WorkerController() { Stop(); }

bool WorkerController::Start(SessionRequest request) {
  if (m_thread) return false;
  try {
    auto session = std::make_shared<LauncherSession>(std::move(request), m_link, m_setup);
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
  m_link->Detach();
  if (!m_thread) return true;
  LauncherSession& session = m_thread->Session();
  session.Abort();
  m_thread->WaitFor(session.HasOpenSocket() ? m_setup.limits.teardownConnected : m_setup.limits.teardownIdle);
  const bool finished = m_thread->IsFinished();
  m_thread.reset();  // joins a finished worker, lets a stuck one go
  return finished;
}

SessionOutcome WorkerController::Outcome() const {
  return m_session ? m_session->Outcome() : SessionOutcome::kNotRun;
}

}  // namespace dovrel
