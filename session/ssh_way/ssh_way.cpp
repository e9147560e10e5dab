// The launch over the OpenSSH client: the other way in, which shares the
// request, the display, the report and the end with telnet.

#include "session/ssh_way/ssh_way.h"

#include <memory>
#include <string>

#include "session/ssh_way/ssh_launch.h"

namespace dovrel {

namespace {

class SshWay final : public WayIn {
 public:
  explicit SshWay(LaunchContext& launch) : m_launch(launch) {}

  LaunchCause Run() override {
    // While ssh runs, the worker holds the launch's connection through it.
    m_launch.connectionOpen = true;
    SshLaunch ssh(m_launch.request, m_launch.setup, m_launch.abort, m_launch.observer, m_launch.reporter,
                  m_launch.clock);
    const LaunchVerdict verdict = ssh.Run();
    m_launch.connectionOpen = false;
    switch (verdict.cause) {
      case LaunchCause::kSeen:
      case LaunchCause::kAssumed:
        m_launch.reporter.Verbose("the terminal has started");
        return verdict.cause;
      case LaunchCause::kAborted:
      case LaunchCause::kHostStopped:
      case LaunchCause::kCannotConnect:
        return verdict.cause;
      case LaunchCause::kLoginIncorrect:
        return m_launch.ending.LoginIncorrect(" refused the login over ssh" +
                                              (verdict.detail.empty() ? std::string() : ": " + verdict.detail));
      default:
        // The user's own Cancel needs no box to tell it.
        if (ssh.DeclinedByUser()) return m_launch.ending.Declined(verdict.cause);
        return m_launch.ending.Failed(verdict.cause, verdict.detail);
    }
  }

 private:
  LaunchContext& m_launch;
};

}  // namespace

std::unique_ptr<WayIn> SshWayIn(LaunchContext& launch) { return std::make_unique<SshWay>(launch); }

}  // namespace dovrel
