#pragma once

#include <sys/types.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace dovrel {

// How a child program starts: its arguments (the first names the program,
// looked up in PATH when it has no slash), its environment, and what its
// descriptors are. Every child starts in a session of its own (no
// controlling terminal, a process group that ends as one), with signals as
// a new program expects them, and with no descriptor of this process's but
// the ones named here.
struct ChildSpec {
  std::vector<std::string> arguments;
  // None: this process's own environment.
  std::optional<std::vector<std::string>> environment;
  // Standard input, output and error: a descriptor of this process's put
  // there, the same number to leave it as it is, or -1 for /dev/null.
  std::array<int, 3> standard{-1, -1, -1};
  // More descriptors, put at 3, 4, ... in this order (above 9 here, so
  // that putting one in place never overwrites another).
  std::vector<int> passed;
};

// Starts the child: its pid, or -1 with `error` set to the system's error.
pid_t StartChild(const ChildSpec& child, int& error);

}  // namespace dovrel
