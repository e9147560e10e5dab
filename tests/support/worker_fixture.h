#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "fake_display.h"
#include "launcher_session.h"
#include "recording_observer.h"
#include "scripted_host.h"
#include "session_thread.h"
#include "skipping_clock.h"

namespace dovrel::test {

// What a test of the worker against a scripted host holds: the host, the
// worker's session and thread, a display the test controls, and short
// timings. Every such test ends the same way: told to stop, the worker is
// gone within 10 s.
class WorkerFixture : public ::testing::Test {
 protected:
  WorkerFixture() {
    using std::chrono::milliseconds;
    m_setup.port = m_host.Port();
    // The program's limits, with the long ones shortened.
    m_setup.limits.readLimit = milliseconds(1000);
    m_setup.limits.watchLimit = milliseconds(3000);
    m_setup.limits.drainQuiet = milliseconds(300);
    m_setup.limits.seenQuiet = milliseconds(100);
    // No display unless a test asks for one: the old rule, a quiet host
    // after the command line is a launch.
  }

  // Puts the session's waits on a clock that skips them, and returns it:
  // set up before the session starts.
  std::shared_ptr<SkippingClock> SkipWaits() {
    auto clock = std::make_shared<SkippingClock>();
    m_setup.clock = clock;
    return clock;
  }

  void TearDown() override {
    using namespace std::chrono_literals;
    if (m_session) m_session->Abort();
    if (m_thread) {
      EXPECT_TRUE(m_thread->WaitFor(10s));
    }
  }

  ScriptedHost m_host;
  SessionSetup m_setup;
  std::shared_ptr<FakeDisplay> m_display = std::make_shared<FakeDisplay>();
  std::shared_ptr<RecordingObserver> m_observer = std::make_shared<RecordingObserver>();
  std::shared_ptr<LauncherSession> m_session;
  std::unique_ptr<SessionThread> m_thread;
};

}  // namespace dovrel::test
