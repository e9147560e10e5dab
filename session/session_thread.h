#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "launcher_session.h"
#include "session_observer.h"

namespace dovrel {

// The running worker. Owns the thread; the thread owns shared references to
// everything it uses, so it may safely outlive this object and the form.
class SessionThread {
 public:
  SessionThread(std::shared_ptr<LauncherSession> session,
                std::shared_ptr<SessionObserver> observer);
  SessionThread(const SessionThread&) = delete;
  SessionThread& operator=(const SessionThread&) = delete;
  // Joins a finished worker; lets one that is still running go on alone.
  ~SessionThread();

  // Waits at most `limit` for the worker to finish; true once it has.
  bool WaitFor(std::chrono::milliseconds limit);
  [[nodiscard]] bool IsFinished() const;
  [[nodiscard]] LauncherSession& Session() const { return *m_session; }

 private:
  struct Completion {
    mutable std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
  };

  std::shared_ptr<LauncherSession> m_session;
  std::shared_ptr<Completion> m_completion = std::make_shared<Completion>();
  std::thread m_thread;
};

}  // namespace dovrel
