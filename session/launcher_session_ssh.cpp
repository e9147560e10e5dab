// The launch over the OpenSSH client: the session's other way in, which
// shares its request, its display, its report and its end with telnet.

#include "session/launcher_session.h"
#include "session/ssh_launch.h"

namespace dovrel {

LaunchCause LauncherSession::RunOverSsh() {
  // While ssh runs, the worker holds the launch's connection through it.
  m_socketOpen = true;
  SshLaunch launch(m_request, m_setup, m_abort, *m_observer, m_reporter, Clock());
  const LaunchVerdict verdict = launch.Run();
  m_socketOpen = false;
  switch (verdict.cause) {
    case LaunchCause::kSeen:
    case LaunchCause::kAssumed:
      m_reporter.Verbose("the terminal has started");
      return verdict.cause;
    case LaunchCause::kAborted:
    case LaunchCause::kHostStopped:
    case LaunchCause::kCannotConnect:
      return verdict.cause;
    case LaunchCause::kLoginIncorrect:
      return LoginIncorrect(" refused the login over ssh" +
                            (verdict.hostLine.empty() ? std::string() : ": " + verdict.hostLine));
    default:
      // The user's own Cancel needs no box to tell it.
      m_declined = launch.DeclinedByUser();
      if (m_declined) return verdict.cause;
      return LaunchFailed(verdict.cause, verdict.hostLine);
  }
}

}  // namespace dovrel
