#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "session/host_text/host_says.h"
#include "session/host_text/host_words.h"

namespace dovrel {

// Why a launch ended, or, while it runs, what decided one of its steps. The
// program's exit status follows from it: 0 only when the terminal started.
enum class LaunchCause {
  kUndecided,       // nothing for or against it so far; no worker ran
  kSeen,            // the terminal's window, or its lasting X connection
  kAssumed,         // nothing could be watched and nothing speaks against it
  kCannotConnect,   // the host could not be resolved, reached or talked to
  kLoginIncorrect,  // the host refused the user name or password, at the login or after the command
  kNameNotTaken,    // the host asked for the login name again after every try
  kHostStopped,     // the host closed, fell silent, or took nothing typed within the limit
  kSendFailed,      // what was to be typed could not be sent
  kAborted,         // the form was closed first
  kNoTcp,           // the X server takes no TCP connections (found before the login)
  kNoXServer,       // no X server at all on the display (found before the login)
  kForeignListener, // another user listens on the display's TCP port (found before the login)
  kListenerUnknown, // who listens on the display's TCP port cannot be told (found before the login)
  kListenerNotX,    // root listens on the display's TCP port, but not as an X server (found before the login)
  kTrustHostLocal,  // --trust-host with a host that is this machine (found before the login)
  kRelayFailed,     // the relay could not be started (found before the login)
  kJoinRefused,     // the relay already serving the port would not be joined, or must not be (found before the login)
  kNoXauth,         // the host has no xauth to install the launch's cookie
  kXauthSilent,     // the host's xauth did not answer
  kProgramMissing,  // the host has no such terminal program
  kDisplayRefused,  // the X server turned the terminal away
  kDisplayFailed,   // the terminal could not open the display, for another reason
  kNoWindow,        // no window and no word from the host within the watch
  // Over ssh:
  kSshMissing,      // no ssh client on this machine
  kNoLocalXauth,    // no xauth on this machine, which ssh needs for the display's cookie
  kHostKeyUnknown,  // the host's key is not known and was not accepted
  kHostKeyChanged,  // the host's key differs from the recorded one
  kPasswordExpired, // the password must be changed first
  kSshQuestion,     // ssh asked something the form cannot answer
  kX11Refused,      // the host's sshd does not forward X11
  kNoRemoteXauth,   // the host has no xauth, so its sshd cannot forward X11
  kNoSecurity,      // --untrusted, and the X server has no SECURITY extension
};

// Whether the launch's end is a started terminal.
constexpr bool TerminalStarted(LaunchCause cause) {
  return cause == LaunchCause::kSeen || cause == LaunchCause::kAssumed;
}

// The cause of what the host said after the command line.
constexpr LaunchCause CauseOf(HostSays said) {
  switch (said) {
    case HostSays::kNothing: return LaunchCause::kUndecided;
    case HostSays::kLoginIncorrect: return LaunchCause::kLoginIncorrect;
    case HostSays::kProgramMissing: return LaunchCause::kProgramMissing;
    case HostSays::kDisplayRefused: return LaunchCause::kDisplayRefused;
    case HostSays::kDisplayFailed: return LaunchCause::kDisplayFailed;
  }
  return LaunchCause::kUndecided;
}

// Where the worker was when a session stopped.
enum class Step {
  kAfterConnecting,
  kFirstText,
  kLoginPrompt,
  kPasswordPrompt,
  kUserNameAgain,
  kShell,
  kXauth,
  kCommand,
  kWatch,
  kCommandAgain,
  kExit,
  kSshConnecting,
  kSshAuthenticating,
};

// The step as a report names it: "stopped <text>: <why>".
constexpr std::string_view StepText(Step step) {
  switch (step) {
    case Step::kAfterConnecting: return "after connecting";
    case Step::kFirstText: return "waiting for the host's first text";
    case Step::kLoginPrompt: return "waiting for the login prompt";
    case Step::kPasswordPrompt: return "waiting for the password prompt";
    case Step::kUserNameAgain: return "typing the user name again";
    case Step::kShell: return "waiting for the shell after the password";
    case Step::kXauth: return "installing the launch's cookie with xauth";
    case Step::kCommand: return "typing the command line";
    case Step::kWatch: return "watching for the terminal";
    case Step::kCommandAgain: return "typing the command line again";
    case Step::kExit: return "typing exit";
    case Step::kSshConnecting: return "while ssh connected";
    case Step::kSshAuthenticating: return "while ssh logged in";
  }
  return "working";
}

// The one value every step answers with when it ends the launch: why, where
// (for a stop the host made, or a line that could not be sent), what the
// program itself adds (an owner's uid, the relay's trouble, the system's
// error) and what the host said, which only the end's words quote.
struct LaunchStop {
  LaunchStop() = default;
  // NOLINTNEXTLINE(google-explicit-constructor): a cause alone is a stop
  LaunchStop(LaunchCause why, std::string ours = {}, std::optional<Step> where = {},
             std::optional<HostWords> hostSaid = {})
      : cause(why), detail(std::move(ours)), step(where), said(std::move(hostSaid)) {}
  // A stop the host's words explain.
  LaunchStop(LaunchCause why, HostWords hostSaid) : cause(why), said(std::move(hostSaid)) {}

  LaunchCause cause = LaunchCause::kUndecided;
  std::string detail;  // the program's own words; empty when there are none
  std::optional<Step> step;
  // For a stop the host made at a step: its last line, empty when it sent
  // no text; otherwise the line or question that decided, where there is one.
  std::optional<HostWords> said;
};

}  // namespace dovrel
