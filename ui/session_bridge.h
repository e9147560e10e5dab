#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "session_observer.h"

class QObject;

namespace dovrel {

class CLauncherDlg;

// Carries the worker's requests to the form on the user-interface thread.
//
// The worker's calls are queued into the form's thread by name, with copied
// arguments (no functor shared between the threads); the names are checked
// against the form when the bridge is built, so a renamed slot stops the
// program at start-up rather than dropping calls. A call still queued when
// the form is destroyed is dropped by Qt. Detach() cuts the bridge when the
// form goes away: a worker waiting for a box is released at once, so the
// form's teardown can never deadlock on it, and later calls do nothing.
class SessionBridge final : public SessionObserver {
 public:
  explicit SessionBridge(CLauncherDlg* dialog);

  // Stops the program when `form` lacks a slot the bridge calls by name.
  static void RequireSlots(const QObject& form);

  void ShowMessage(SessionMessage message, const std::string& text) override;  // worker thread
  void PhaseChanged(SessionPhase phase) override;                              // worker thread
  // The worker's latest phase. The form reads it on a timer: a call posted
  // into Qt's event queue for every phase would meet the form's own use of
  // it under a lock that thread checkers cannot see.
  [[nodiscard]] SessionPhase Phase() const { return m_phase.load(); }  // any thread
  void Report(const std::string& line) override;                               // any thread
  void RequestClose() override;                                                // worker thread
  [[nodiscard]] std::string Translate(const char* context, const char* source) const override;  // any thread
  void Detach();                                                               // user-interface thread
  // The form has shown box `ticket` and the user has dismissed it.
  void BoxDismissed(std::uint64_t ticket);  // user-interface thread

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  CLauncherDlg* m_dialog;  // null once detached
  std::uint64_t m_boxesAsked = 0;
  std::uint64_t m_boxesDone = 0;
  std::atomic<SessionPhase> m_phase{SessionPhase::kConnecting};
};

}  // namespace dovrel
