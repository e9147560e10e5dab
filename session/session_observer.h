#pragma once

#include <string>

namespace dovrel {

// The messages the worker may have to show the user.
enum class SessionMessage {
  kCannotConnect,   // "Cannot Connect"
  kLoginIncorrect,  // "Login incorrect"
  kLaunchFailed,    // why the terminal did not start: the text comes with it
};

// What the worker is doing, for the form's status line.
enum class SessionPhase {
  kConnecting,
  kLoggingIn,
  kStartingTerminal,
  kWaitingForWindow,
};

// How the worker reaches the form. Implemented by the user interface; called
// on the worker thread.
class SessionObserver {
 public:
  virtual ~SessionObserver() = default;

  // Shows `message` (with `text`, for kLaunchFailed) in a box owned by the
  // form and returns once the user has dismissed it, or at once when the form
  // is already gone or going.
  virtual void ShowMessage(SessionMessage message, const std::string& text) = 0;

  // The worker has moved on to `phase`.
  virtual void PhaseChanged(SessionPhase phase) = 0;

  // One line for standard error, without its line end.
  virtual void Report(const std::string& line) = 0;

  // Asks the form to close. Does nothing once the form is gone.
  virtual void RequestClose() = 0;

  // A text marked for translation, in the form's language (any thread).
  [[nodiscard]] virtual std::string Translate(const char* /*context*/, const char* source) const {
    return source;
  }
};

}  // namespace dovrel
