#pragma once

#include <string>

namespace dovrel {

// A helper program of the package (the relay, the askpass helper): beside
// this executable (the build tree), or where the package installs it;
// empty when there is none. Found once, at start-up, and handed down in the
// session's setup.
std::string FindHelperProgram(const std::string& name);

}  // namespace dovrel
