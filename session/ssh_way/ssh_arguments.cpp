#include "session/ssh_way/ssh_arguments.h"

#include <string>

namespace dovrel {

namespace {

void Force(std::vector<std::string>& arguments, std::string_view setting) {
  arguments.emplace_back("-o");
  arguments.emplace_back(setting);
}

// The options both the launch and `ssh -G` give, so that the configuration
// read is the one the launch runs with.
void Common(std::vector<std::string>& arguments, const SshOptions& options) {
  if (!options.passwordOffered) {
    // An empty password is never sent: keys and the agent alone.
    Force(arguments, "PasswordAuthentication=no");
    Force(arguments, "KbdInteractiveAuthentication=no");
  }
  if (options.askHostKeys) Force(arguments, "StrictHostKeyChecking=ask");
  // No user: the configuration's, or this account's name.
  if (!options.userName.empty()) {
    arguments.emplace_back("-l");
    arguments.emplace_back(options.userName);
  }
}

}  // namespace

std::vector<std::string> SshArguments(const SshOptions& options, const Limits& limits) {
  std::vector<std::string> arguments{options.program};
  // No pseudo-terminal, input from /dev/null, X11 forwarding trusted or not.
  arguments.insert(arguments.end(), {"-T", "-n", options.untrusted ? "-X" : "-Y"});
  if (options.untrusted) Force(arguments, "ForwardX11Trusted=no");
  // A master connection would bring its own DISPLAY and forwarding, and a
  // persistent one would outlive the launch.
  Force(arguments, "ControlMaster=no");
  Force(arguments, "ControlPath=none");
  Force(arguments, "ControlPersist=no");
  // Nothing of the configuration's own commands or forwardings.
  Force(arguments, "RemoteCommand=none");
  Force(arguments, "ClearAllForwardings=yes");
  Force(arguments, "ForkAfterAuthentication=no");
  Force(arguments, "SessionType=default");
  Force(arguments, "RequestTTY=no");
  // Questions go to the askpass helper; one password prompt per method.
  Force(arguments, "BatchMode=no");
  Force(arguments, "NumberOfPasswordPrompts=1");
  Force(arguments, "UpdateHostKeys=no");
  Force(arguments, "ExitOnForwardFailure=no");
  // At this level ssh says why X11 forwarding failed.
  Force(arguments, "LogLevel=DEBUG1");
  Force(arguments, "ConnectTimeout=" + std::to_string(limits.sshConnectSeconds));
  Force(arguments, "ServerAliveInterval=" + std::to_string(limits.sshAliveSeconds));
  Force(arguments, "ServerAliveCountMax=" + std::to_string(limits.sshAliveCount));
  if (!options.logFile.empty()) {
    arguments.emplace_back("-E");
    arguments.emplace_back(options.logFile);
  }
  Common(arguments, options);
  arguments.emplace_back("--");
  arguments.emplace_back(options.hostName);
  arguments.emplace_back(options.remoteCommand);
  return arguments;
}

std::vector<std::string> SshConfigArguments(const SshOptions& options) {
  std::vector<std::string> arguments{options.program, "-G"};
  Common(arguments, options);
  arguments.emplace_back("--");
  arguments.emplace_back(options.hostName);
  return arguments;
}

SshConfig ReadSshConfig(std::string_view output) {
  SshConfig config;
  while (!output.empty()) {
    const auto end = output.find('\n');
    const std::string_view line = output.substr(0, end);
    output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
    const auto blank = line.find(' ');
    if (blank == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, blank);
    const std::string value(line.substr(blank + 1));
    if (key == "hostname") config.hostName = value;
    if (key == "stricthostkeychecking") config.strictHostKeyChecking = value;
    if (key == "xauthlocation") config.xauthLocation = value;
    if (key == "hostkeyalias" && value != "none") config.hostKeyAlias = value;
    if (key == "user") config.user = value;
  }
  return config;
}

std::string SshRemoteCommand(std::string_view program, std::string_view geometry) {
  std::string command(program);
  command += " -geometry ";
  command += geometry;
  return command;
}

}  // namespace dovrel
