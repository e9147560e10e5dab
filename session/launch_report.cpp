#include "launch_report.h"

#include <cstdio>

namespace dovrel {

std::string DescribeLaunchProblem(LaunchProblem problem, const LaunchTarget& target,
                                  const std::string& hostLine) {
  const std::string program = target.xterm ? "xterm" : "kterm";
  const std::string display = std::to_string(target.display);
  const std::string port = std::to_string(6000 + target.display);
  const std::string where = target.address + ":" + display;
  std::string text;
  switch (problem) {
    case LaunchProblem::kNoTcp:
      return "The X server of display :" + display + " does not accept TCP connections (nothing answers at " +
             target.address + " port " + port + "), so no terminal can reach it; nothing was typed on " +
             target.hostName + ". Let the X server listen on TCP: start it with -listen tcp (display " +
             "managers often start it with -nolisten tcp).";
    case LaunchProblem::kProgramMissing:
      text = program + " was not found on " + target.hostName + ", so no terminal was started. Install " +
             program + " there" + (target.xterm ? "." : ", or add x to the command line to start xterm instead.");
      break;
    case LaunchProblem::kDisplayRefused:
      text = "The X server of display :" + display + " refused the terminal from " + target.hostName +
             ". Give the remote user this display's cookie (here: xauth extract - " + where +
             ", there: xauth merge -), or allow the host with xhost +" + target.hostName + ".";
      break;
    case LaunchProblem::kDisplayFailed:
      text = "The terminal on " + target.hostName + " could not open the display " + where + ". Check that " +
             target.hostName + " can reach " + target.address + ", TCP port " + port + ".";
      break;
    case LaunchProblem::kNoWindow:
      return "No terminal window appeared on display :" + display + " within " +
             std::to_string(std::chrono::duration_cast<std::chrono::seconds>(target.watchLimit).count()) +
             " s, and " + target.hostName + " said nothing: a firewall may drop connections to port " + port +
             " of " + target.address + ". The terminal may still appear later.";
  }
  if (!hostLine.empty()) text += " The host said: \"" + hostLine + "\"";
  return text;
}

std::string EscapeHostText(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\\') {
      escaped += "\\\\";
    } else if (byte < 0x20 || byte == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      escaped += hex;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace dovrel
