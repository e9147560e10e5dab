#include "watch/launch_report.h"

#include "base/ports.h"
#include "base/terminal_program.h"

namespace dovrel {

std::string DescribeLaunchProblem(LaunchCause cause, const LaunchTarget& target,
                                  const std::string& hostLine) {
  const std::string program(TerminalProgram::Of(target.xterm).name);
  const std::string display = std::to_string(target.display);
  const std::string port = std::to_string(X11TcpPort(target.display));
  const std::string where = target.address + ":" + display;
  std::string text;
  switch (cause) {
    case LaunchCause::kNoTcp:
      return "The X server of display :" + display + " does not accept TCP connections (nothing answers at " +
             target.address + " port " + port + "), so no terminal can reach it; nothing was typed on " +
             target.hostName + ". Let the X server listen on TCP: start it with -listen tcp (display " +
             "managers often start it with -nolisten tcp).";
    case LaunchCause::kNoXServer:
      return "There is no X server on display :" + display + " of this machine: nothing answers at " +
             target.address + " port " + port + " and there is no local socket /tmp/.X11-unix/X" + display +
             "; nothing was typed on " + target.hostName + ". Start the X server, or name the display " +
             "it runs on after the host name.";
    case LaunchCause::kProgramMissing:
      text = program + " was not found on " + target.hostName + ", so no terminal was started. Install " +
             program + " there" + (target.xterm ? "." : ", or add x to the command line to start xterm instead.");
      break;
    case LaunchCause::kDisplayRefused:
      text = "The X server of display :" + display + " refused the terminal from " + target.hostName +
             ". Give the remote user this display's cookie (here: xauth extract - " + where +
             ", there: xauth merge -), or allow the host with xhost +" + target.hostName + ".";
      break;
    case LaunchCause::kDisplayFailed:
      text = "The terminal on " + target.hostName + " could not open the display " + where + ". Check that " +
             target.hostName + " can reach " + target.address + ", TCP port " + port + ".";
      break;
    case LaunchCause::kNoWindow:
      return "No terminal window appeared on display :" + display + " within " +
             std::to_string(std::chrono::duration_cast<std::chrono::seconds>(target.watchLimit).count()) +
             " s, and " + target.hostName + " said nothing: a firewall may drop connections to port " + port +
             " of " + target.address + ". The terminal may still appear later.";
    default:
      return "The terminal did not start on display :" + display + ".";
  }
  if (!hostLine.empty()) text += " The host said: \"" + hostLine + "\"";
  return text;
}

}  // namespace dovrel
