#pragma once

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "session/launcher_session.h"

namespace dovrel {

// The running worker. Owns the thread; the thread owns a shared reference to
// the session, which holds everything it uses, so it may safely outlive this
// object and the form.
class SessionThread {
 public:
  explicit SessionThread(std::shared_ptr<LauncherSession> session);
  SessionThread(const SessionThread&) = delete;
  SessionThread& operator=(const SessionThread&) = delete;
  // Joins a finished worker; lets one that is still running go on alone.
  ~SessionThread();

  // Waits at most `limit` for the worker to finish; true once it has.
  bool WaitFor(std::chrono::milliseconds limit) const;
  [[nodiscard]] bool IsFinished() const { return WaitFor(std::chrono::milliseconds(0)); }
  [[nodiscard]] LauncherSession& Session() const { return *m_session; }

 private:
  std::shared_ptr<LauncherSession> m_session;
  std::future<void> m_finished;
  std::thread m_thread;
};

}  // namespace dovrel
