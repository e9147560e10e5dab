#include "common/net/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace dovrel {

namespace {

std::vector<char*> Pointers(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));  // NOLINT: exec's API
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

pid_t StartChild(const ChildSpec& child, int& error) {
  if (child.arguments.empty()) {
    error = EINVAL;
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd) {
    const int given = child.standard[static_cast<std::size_t>(fd)];
    if (given < 0) {
      posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    } else if (given != fd) {
      posix_spawn_file_actions_adddup2(&actions, given, fd);
    }
  }
  int next = 3;
  for (const int fd : child.passed) posix_spawn_file_actions_adddup2(&actions, fd, next++);
  posix_spawn_file_actions_addclosefrom_np(&actions, next);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes,
                           static_cast<short>(POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
  pid_t pid = -1;
  const auto argv = Pointers(child.arguments);
  const auto envp = child.environment ? Pointers(*child.environment) : std::vector<char*>();
  error = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(),
                         child.environment ? envp.data() : environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

}  // namespace dovrel
