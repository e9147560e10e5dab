#pragma once

#include <cstring>
#include <string>

namespace dovrel {

// The system's words for an errno value; strerror itself is not safe to
// call from the worker thread.
inline std::string ErrorText(int error) {
  char buffer[128] = {};
  // The GNU strerror_r returns the text, which may or may not be `buffer`.
  return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace dovrel
