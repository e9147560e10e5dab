#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "fake_display.h"
#include "session/launcher_session.h"
#include "recording_observer.h"
#include "scripted_host.h"
#include "session/session_thread.h"
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
    // No display unless a test asks for one: then a quiet host after the
    // command line is a launch.
  }

  // What the worker is asked to do.
  struct Run {
    std::string userId = "alice";
    std::string password = "secret";
    bool xterm = true;
    int display = 1;
    std::string hostName = "127.0.0.1";
  };

  // Starts the worker with the fixture's setup, against the scripted host
  // unless the test pointed m_setup.port elsewhere.
  void Start(Run run) {
    SessionRequest request{{std::move(run.hostName), run.display, run.xterm}, Secret(std::move(run.userId)),
                           Secret(std::move(run.password))};
    m_session = std::make_shared<LauncherSession>(std::move(request), m_observer, m_setup);
    m_thread = std::make_unique<SessionThread>(m_session);
  }
  void Start() { Start(Run{}); }

  // Waits for the worker; true when it ended within `limit`.
  bool Finishes(std::chrono::milliseconds limit = std::chrono::seconds(10)) { return m_thread->WaitFor(limit); }

  static SecretBytes Secret(std::string text) { return SecretBytes::TakeFrom(text); }

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
