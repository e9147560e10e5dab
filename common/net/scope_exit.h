#pragma once

#include <utility>

namespace dovrel {

// Runs a function when the scope it guards ends, by any path.
template <typename Function>
class ScopeExit {
 public:
  explicit ScopeExit(Function function) : m_function(std::move(function)) {}
  ~ScopeExit() { m_function(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Function m_function;
};

}  // namespace dovrel
