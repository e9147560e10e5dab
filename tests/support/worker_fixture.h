#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "launcher_session.h"
#include "recording_observer.h"
#include "scripted_host.h"
#include "session_thread.h"

namespace dovrel::test {

// What a test of the worker against a scripted host holds: the host, the
// worker's session and thread, and short timings. Every such test ends the
// same way: told to stop, the worker is gone within 10 s.
class WorkerFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    using namespace std::chrono_literals;
    if (m_session) m_session->Abort();
    if (m_thread) {
      EXPECT_TRUE(m_thread->WaitFor(10s));
    }
  }

  SessionTiming m_timing{.port = 0,
                         .readLimit = std::chrono::milliseconds(1000),
                         .promptQuiet = std::chrono::milliseconds(300),
                         .textQuiet = std::chrono::milliseconds(1000),
                         .drainQuiet = std::chrono::milliseconds(300)};
  ScriptedHost m_host;
  std::shared_ptr<RecordingObserver> m_observer = std::make_shared<RecordingObserver>();
  std::shared_ptr<LauncherSession> m_session;
  std::unique_ptr<SessionThread> m_thread;
};

}  // namespace dovrel::test
