#pragma once

namespace dovrel {

// The messages the worker may have to show the user.
enum class SessionMessage {
  kCannotConnect,   // "Cannot Connect"
  kLoginIncorrect,  // "Login incorrect"
};

// How the worker reaches the form. Implemented by the user interface; called
// on the worker thread.
class SessionObserver {
 public:
  virtual ~SessionObserver() = default;

  // Shows `message` in a box owned by the form and returns once the user has
  // dismissed it, or at once when the form is already gone or going.
  virtual void ShowMessage(SessionMessage message) = 0;

  // Asks the form to close. Does nothing once the form is gone.
  virtual void RequestClose() = 0;
};

}  // namespace dovrel
