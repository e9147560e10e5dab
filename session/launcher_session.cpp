#include "session/launcher_session.h"

#include <utility>

#include "session/launch/launch_ending.h"
#include "session/launch/way_in.h"
#include "session/ssh_way/ssh_way.h"
#include "session/telnet_way/telnet_launch.h"

namespace dovrel {

LauncherSession::LauncherSession(SessionRequest request, std::shared_ptr<SessionObserver> observer,
                                 SessionSetup setup)
    : m_request(std::move(request)),
      m_observer(std::move(observer)),
      m_setup(std::move(setup)),
      m_reporter(*m_observer, Clock(), m_setup.options.verbose, &m_abort) {}

void LauncherSession::RunSession() {
  // The request's life ends with the launch: its credentials are wiped as
  // it goes, however the launch ended.
  SessionRequest request = std::move(m_request);
  m_reporter.Start();
  LaunchEnding ending({request.target, {}, m_setup.limits.watchLimit, m_setup.options.ssh});
  LaunchContext launch{request, m_setup, m_abort, *m_observer, m_reporter, Clock(), ending, m_connectionOpen};
  const LaunchCause cause = (m_setup.options.ssh ? SshWayIn(launch) : TelnetWayIn(launch))->Run();
  m_connectionOpen = false;
  // A user who closed the form has seen the job end, whatever the way found
  // meanwhile: no box.
  m_end = ending.End(cause, m_abort.IsTriggered());
  m_outcome = m_end.cause;
}

WaitClock& LauncherSession::Clock() const { return m_setup.clock ? *m_setup.clock : SystemClock(); }

}  // namespace dovrel
