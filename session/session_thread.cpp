#include "session/session_thread.h"

#include <utility>

namespace dovrel {

SessionThread::SessionThread(std::shared_ptr<LauncherSession> session) : m_session(std::move(session)) {
  std::promise<void> finished;
  m_finished = finished.get_future();
  // The worker's body: the session, then its end handed to the form.
  m_thread = std::thread([session = m_session, finished = std::move(finished)]() mutable {
    session->RunSession();
    session->Observer().Finished(session->End());
    finished.set_value();
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

bool SessionThread::WaitFor(std::chrono::milliseconds limit) const {
  return m_finished.wait_for(limit) == std::future_status::ready;
}

}  // namespace dovrel
