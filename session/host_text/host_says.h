#pragma once

namespace dovrel {

// What the host's text after the command line said against the launch.
enum class HostSays {
  kNothing,         // nothing so far
  kLoginIncorrect,  // a refused login, or a login prompt again
  kProgramMissing,  // the shell has no such program
  kDisplayRefused,  // the X server turned the terminal away
  kDisplayFailed,   // the terminal could not open the display, for another reason
};

}  // namespace dovrel
