#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/base/limits.h"

namespace dovrel {

// What one launch over ssh asks of the OpenSSH client.
struct SshOptions {
  std::string program = "ssh";
  std::string hostName;  // ssh's destination: an alias of the user's configuration, too
  std::string userName;  // the form's, for -l
  std::string remoteCommand;
  std::string logFile;           // where ssh writes its own log (-E), apart from the host's words
  bool untrusted = false;        // ssh's untrusted X11 forwarding
  bool passwordOffered = true;   // false: keys and the agent alone
  bool askHostKeys = false;      // the user's configuration says no: ask instead
};

// The client's whole command line. Everything the launch depends on is
// forced with -o, so a user's configuration cannot turn it off; the rest of
// the configuration (aliases, port, ProxyJump, keys, known_hosts) applies.
// The host is the destination after "--": a name that begins with '-' is
// never read as an option.
std::vector<std::string> SshArguments(const SshOptions& options, const Limits& limits);

// `ssh -G`: the effective configuration for the same destination and user.
std::vector<std::string> SshConfigArguments(const SshOptions& options);

// What the launch needs to know of the effective configuration.
struct SshConfig {
  std::string hostName;               // where ssh really goes (its prompts name it)
  std::string strictHostKeyChecking;  // "true", "false", "ask" or "accept-new"
  std::string xauthLocation;          // the local xauth ssh runs
  std::string hostKeyAlias;           // the name ssh gives the host in its prompts, when set
  std::string user;                   // the user ssh logs in as
};

// Reads `ssh -G`'s output: one "keyword value" per line.
SshConfig ReadSshConfig(std::string_view output);

// The command the host runs: the terminal in the foreground, so that ssh
// lives while the terminal does.
std::string SshRemoteCommand(std::string_view program, std::string_view geometry);

}  // namespace dovrel
