#pragma once

#include <optional>
#include <string>
#include <utility>

namespace dovrel {

// Why a step failed, in words a report can quote.
struct Failure {
  std::string why;
};

// A step's value, or why there is none: how the name lookup, the connect,
// and the relay's start and its untrusted authorisation answer (GCC 12's
// C++20 has no std::expected).
template <typename T>
class [[nodiscard]] OrFailure {
 public:
  OrFailure(T value) : m_value(std::move(value)) {}              // NOLINT(google-explicit-constructor)
  OrFailure(Failure failure) : m_why(std::move(failure.why)) {}  // NOLINT(google-explicit-constructor)

  [[nodiscard]] explicit operator bool() const noexcept { return m_value.has_value(); }
  [[nodiscard]] T& operator*() { return *m_value; }
  [[nodiscard]] const T& operator*() const { return *m_value; }
  [[nodiscard]] T* operator->() { return &*m_value; }
  [[nodiscard]] const T* operator->() const { return &*m_value; }
  // Why it failed; empty with a value.
  [[nodiscard]] const std::string& Why() const noexcept { return m_why; }

 private:
  std::optional<T> m_value;
  std::string m_why;
};

}  // namespace dovrel
