#include "app/helper_programs.h"

#include <unistd.h>

namespace dovrel {

std::string FindHelperProgram(const std::string& name) {
  char self[4096] = {};
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return {};
  std::string directory(self, static_cast<std::size_t>(length));
  directory.erase(directory.find_last_of('/') + 1);
  const std::string installed = std::string(directory).append(DOVREL_HELPERS_FROM_BINDIR "/").append(name);
  for (const std::string& candidate : {directory + name, installed}) {
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

}  // namespace dovrel
