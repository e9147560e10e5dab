#pragma once

#include <mutex>
#include <vector>

#include "session_observer.h"

namespace dovrel::test {

// Stands in for the form: records the worker's requests; boxes are
// dismissed at once.
class RecordingObserver final : public SessionObserver {
 public:
  void ShowMessage(SessionMessage message) override {
    const std::lock_guard lock(m_mutex);
    m_messages.push_back(message);
  }
  void RequestClose() override {
    const std::lock_guard lock(m_mutex);
    ++m_closeRequests;
  }
  std::vector<SessionMessage> Messages() const {
    const std::lock_guard lock(m_mutex);
    return m_messages;
  }
  int CloseRequests() const {
    const std::lock_guard lock(m_mutex);
    return m_closeRequests;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<SessionMessage> m_messages;
  int m_closeRequests = 0;
};

}  // namespace dovrel::test
