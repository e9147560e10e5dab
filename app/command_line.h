#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "dovrel_version.h"
#include "session/launch/launch_target.h"

namespace dovrel {

// What the command line asks for.
struct CommandLine {
  TerminalTarget target;
  std::string userName;  // what precedes the last '@' of user@host, as bytes; empty: none given
  bool displayGiven = false;  // the command line named the display; otherwise $DISPLAY decides
  LaunchOptions options;
};

inline constexpr std::string_view kUsageText =
    "Usage: dovrel [-v] [--no-relay] [--trust-host] [--untrusted] [user@]<HostName> [Screen] [x]\n"
    "       dovrel --ssh [-v] [--untrusted] [user@]<HostName> [Screen] [x]\n\n"
    " Screen: Display Number (0-9)\n"
    " x: \"xterm\" switch (default: \"kterm\")\n"
    " user@: the form's user name, filled in (at most 20 bytes); with\n"
    "   --ssh and no user@, the user your ssh configuration names\n"
    " Without Screen: the display $DISPLAY names (:N, :N.S or unix:N of\n"
    "   this machine), otherwise 0\n"
    " -v, --verbose: report each step on standard error\n"
    " --no-relay: never serve the display's TCP port; when the X server\n"
    "   takes no TCP connections, stop. Otherwise dovrel serves it on the\n"
    "   telnet connection's own address for that host, relayed to the\n"
    "   display's local socket, until the last terminal connection closes.\n"
    "   It admits only clients with a cookie made for this launch, which it\n"
    "   installs in your ~/.Xauthority on the host with the host's xauth:\n"
    "   your terminal and the programs you start from it, nobody else\n"
    " --trust-host: for a host without xauth: the relay admits whatever\n"
    "   connects from the host's address, so every user of the host can\n"
    "   reach your display while the terminal lives (refused for this machine)\n"
    " --untrusted: the relay hands the X server an untrusted authorisation\n"
    "   (SECURITY extension): the terminal's clients cannot read other\n"
    "   windows or the keyboard, nor use XTEST. For hosts you do not fully\n"
    "   trust; Xwayland has no SECURITY extension, so it cannot work there\n"
    " --ssh: log in with the system's ssh client instead of telnet (your\n"
    "   ~/.ssh/config, keys and agent apply; the password may be empty);\n"
    "   the terminal comes back through ssh's X11 forwarding, no port is\n"
    "   opened here. --no-relay and --trust-host do not go with it";

inline constexpr std::string_view kVersionText = "dovrel " DOVREL_VERSION;

// Writes `text` and a line end to `stream`.
void PrintLine(std::FILE* stream, std::string_view text);

// The usage text on standard error, and what was wrong when it is known.
void PrintUsage(std::string_view problem);

// Options that print something and end the program without a display.
enum class InfoOption { kNone, kHelp, kVersion };

// --help or -h, --version as the first argument.
InfoOption FindInfoOption(int argc, const char* const* argv);

// The arguments after the program's name, joined with single blanks.
std::string JoinArguments(int argc, const char* const* argv);

// Splits the command-line tail at blanks and tabs (no quoting) and reads it:
// the options -v (--verbose), --no-relay, --trust-host, --untrusted and --ssh, each optional, in any order,
// then a host name (user@host: what precedes the last '@' is the user
// name), then any number of one-character switches, a digit for the display
// (the last one wins) or x/X for xterm. Nothing on any other input, and
// `problem`, if given, says what was wrong where a usage line alone would
// not; no host name begins with '-', so a first token that does is an
// unknown option.
std::optional<CommandLine> ParseCommandLine(std::string_view tail, std::string* problem = nullptr);

}  // namespace dovrel
