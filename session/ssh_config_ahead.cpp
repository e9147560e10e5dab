#include "session/ssh_config_ahead.h"

#include "session/ssh_way/ssh_arguments.h"
#include "session/ssh_way/ssh_launch.h"

namespace dovrel {

std::shared_ptr<const SshConfigAhead> ReadSshConfigAhead(const SessionSetup& setup, const std::string& hostName,
                                                         int display, const std::string& userName,
                                                         const AbortSignal& abort) {
  SshOptions options;
  options.program = setup.sshProgram;
  options.hostName = hostName;
  options.userName = userName;
  int startError = 0;
  auto output = RunSshConfig(options, display, setup.limits.sshConfigLimit, abort, startError);
  if (!output) return nullptr;
  std::string user = ReadSshConfig(*output).user;
  return std::make_shared<const SshConfigAhead>(SshConfigAhead{std::move(user), std::move(*output)});
}

SshConfigAheadReader::SshConfigAheadReader(SessionSetup setup, std::string hostName, int display,
                                           std::string userName, Done done)
    : m_thread([this, setup = std::move(setup), hostName = std::move(hostName), display,
                userName = std::move(userName), done = std::move(done)] {
        auto config = ReadSshConfigAhead(setup, hostName, display, userName, m_abort);
        if (config && !m_abort.IsTriggered()) done(std::move(config));
      }) {}

SshConfigAheadReader::~SshConfigAheadReader() {
  m_abort.Trigger();
  m_thread.join();
}

}  // namespace dovrel
