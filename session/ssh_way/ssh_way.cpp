// The launch over the OpenSSH client: the other way in, which shares the
// request, the display, the report and the end with telnet.

#include "session/ssh_way/ssh_way.h"

#include <memory>
#include <string>
#include <utility>

#include "session/launch/user_question.h"
#include "session/ssh_way/ssh_launch.h"

namespace dovrel {

namespace {

class SshWay final : public WayIn {
 public:
  explicit SshWay(LaunchContext& launch) : m_launch(launch) {}

  LaunchCause Run() override {
    // While ssh runs, the worker holds the launch's connection through it.
    m_launch.connectionOpen = true;
    LaunchStop verdict = RunOnce();
    // No kterm: ssh has ended with its command, so xterm takes one more
    // login, only on the user's word, with what the first one used.
    if (verdict.cause == LaunchCause::kProgramMissing && !m_launch.request.target.xterm) {
      m_launch.reporter.Verbose("kterm was not found on the host: asking whether to start xterm instead");
      const auto answer =
          AskTheUser(m_launch, {m_launch.request.target.hostName, {}, UserQuestion::Kind::kStartXterm});
      if (!answer) {
        m_launch.connectionOpen = false;
        return LaunchCause::kAborted;
      }
      if (*answer) {
        m_launch.reporter.Verbose("the user chose to start xterm: ssh logs in once more");
        m_launch.request.target.xterm = true;
        m_launch.ending.StartsXterm();
        verdict = RunOnce();
      } else {
        m_launch.reporter.Verbose("the user chose not to start xterm");
      }
    }
    m_launch.connectionOpen = false;
    switch (verdict.cause) {
      case LaunchCause::kSeen:
      case LaunchCause::kAssumed:
        m_launch.reporter.Verbose("the terminal has started");
        return verdict.cause;
      case LaunchCause::kAborted:
        return verdict.cause;
      case LaunchCause::kLoginIncorrect:
        return m_launch.ending.Stopped({verdict.cause,
                                        " refused the login over ssh" +
                                            (verdict.detail.empty() ? "" : ": " + verdict.detail),
                                        {}, verdict.said});
      default:
        // The user's own Cancel of the host key needs no box to tell it.
        if (m_declined) return m_launch.ending.Declined(std::move(verdict));
        return m_launch.ending.Stopped(std::move(verdict));
    }
  }

 private:
  // One run of ssh, to its verdict; the client, its socket and its hold on
  // the display's name are gone when it returns.
  LaunchStop RunOnce() {
    SshLaunch ssh(m_launch.request, m_launch.setup, m_launch.abort, m_launch.observer, m_launch.reporter,
                  m_launch.clock);
    LaunchStop verdict = ssh.Run();
    m_declined = ssh.DeclinedByUser();
    return verdict;
  }

  LaunchContext& m_launch;
  bool m_declined = false;
};

}  // namespace

std::unique_ptr<WayIn> SshWayIn(LaunchContext& launch) { return std::make_unique<SshWay>(launch); }

}  // namespace dovrel
