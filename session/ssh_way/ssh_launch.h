#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "session/launch/launch_cause.h"
#include "common/net/abort_signal.h"
#include "common/net/unique_fd.h"
#include "session/launch/reporter.h"
#include "session/launch/session_observer.h"
#include "session/launch/session_request.h"
#include "session/ssh_way/askpass_server.h"
#include "session/ssh_way/ssh_arguments.h"
#include "session/ssh_way/ssh_process.h"
#include "session/ssh_way/ssh_words.h"
#include "session/watch/local_display.h"

namespace dovrel {

// `ssh -G` for `options` (its host, and its user when one is given), with
// the environment the launch gives ssh for display `display`; its output,
// or nothing (`startError`: why ssh did not start, when it did not), also
// when it took longer than `limit`.
std::optional<std::string> RunSshConfig(const SshOptions& options, int display, std::chrono::milliseconds limit,
                                        const AbortSignal& abort, int& startError);

// One launch over ssh: the OpenSSH client logs in with the form's user and
// password (through the askpass helper, the password once per method and
// only for the destination), asks the user about an unknown host key,
// forwards X itself, and runs the terminal in the foreground; the launch
// watches the display for its window and reads ssh's words for why not.
class SshLaunch {
 public:
  SshLaunch(const SessionRequest& request, const SessionSetup& setup, const AbortSignal& abort,
            SessionObserver& observer, Reporter& reporter, WaitClock& clock);

  // The whole launch; the verdict says how it ended (kSeen: the terminal is
  // up, and ssh runs on with it).
  LaunchStop Run();
  // The user said no to the host key: the launch ends without a box.
  [[nodiscard]] bool DeclinedByUser() const { return m_declined; }

 private:
  std::optional<LaunchStop> Prepare();
  std::optional<LaunchStop> Step();
  std::optional<LaunchStop> OnRequest(AskpassRequest request);
  std::optional<LaunchStop> OnAnswer();
  std::optional<LaunchStop> AfterExit(int status);
  LaunchStop Ended(LaunchStop stop);
  LaunchStop Ended(LaunchCause cause, std::string detail) { return Ended(LaunchStop{cause, std::move(detail)}); }
  LaunchStop Ended(LaunchCause cause, HostWords said) { return Ended(LaunchStop{cause, std::move(said)}); }
  void ReadWords(bool logReady);
  void DrainLog();
  void Phases();
  [[nodiscard]] std::chrono::steady_clock::time_point Deadline() const;

  const SessionRequest& m_request;
  const SessionSetup& m_setup;
  const AbortSignal& m_abort;
  SessionObserver& m_observer;
  Reporter& m_reporter;
  WaitClock& m_clock;

  SshOptions m_options;
  SshConfig m_config;
  AskpassServer m_askpass;
  SshProcess m_ssh;
  SshWords m_words;
  // ssh's own log, apart from its standard error (the host's words).
  UniqueFd m_log;
  // The display's abstract socket name, held so that no client of ssh's
  // reaches anything but the checked socket file.
  UniqueFd m_nameHold;
  std::unique_ptr<TerminalWatch> m_watch;
  // A host-key question waiting for the user.
  std::optional<AskpassRequest> m_pending;
  std::shared_ptr<AnswerSlot> m_slot;
  std::chrono::steady_clock::time_point m_started{};
  std::chrono::steady_clock::time_point m_askedAt{};
  std::chrono::steady_clock::duration m_paused{};
  std::optional<std::chrono::steady_clock::time_point> m_authenticatedAt;
  bool m_connectedSaid = false;
  bool m_commandSaid = false;
  bool m_passwordGiven = false;       // by the password method
  bool m_keyboardPasswordGiven = false;  // by keyboard-interactive
  bool m_declined = false;
};

}  // namespace dovrel
