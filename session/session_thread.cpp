#include "session_thread.h"

#include <utility>

namespace dovrel {

SessionThread::SessionThread(std::shared_ptr<LauncherSession> session,
                             std::shared_ptr<SessionObserver> observer)
    : m_session(std::move(session)) {
  m_thread = std::thread([session = m_session, observer = std::move(observer),
                          completion = m_completion] {
    SessionThreadProc(session, observer);
    const std::lock_guard lock(completion->mutex);
    completion->done = true;
    completion->finished.notify_all();
  });
}

SessionThread::~SessionThread() {
  if (!m_thread.joinable()) return;
  if (IsFinished()) {
    m_thread.join();
  } else {
    m_thread.detach();
  }
}

bool SessionThread::WaitFor(std::chrono::milliseconds limit) {
  std::unique_lock lock(m_completion->mutex);
  return m_completion->finished.wait_for(lock, limit, [this] { return m_completion->done; });
}

bool SessionThread::IsFinished() const {
  const std::lock_guard lock(m_completion->mutex);
  return m_completion->done;
}

}  // namespace dovrel
