// The program's whole run, in process: the command line, the real form typed
// into as a user would, a scripted host on loopback, and the exit status.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <chrono>
#include <memory>
#include <utility>
#include <string>
#include <thread>

#include "app/command_line.h"
#include "app/launcher_app.h"
#include "hanging_listener.h"
#include "ui/launcher_dlg.h"
#include "scripted_host.h"
#include "ui_driver.h"

namespace dovrel {
namespace {

using namespace std::chrono_literals;
using test::BoxText;
using test::ScriptedHost;
using test::WhenModal;

bool IsForm(QWidget* widget) { return qobject_cast<CLauncherDlg*>(widget) != nullptr; }

// Types a user name and a password into the form once it is up, then Enter.
void LogInThroughTheForm(const QString& user, const QString& password) {
  WhenModal(IsForm, [=](QWidget* form) {
    QLineEdit* userField = test::FieldNamed(form, QStringLiteral("User"));
    QLineEdit* passwordField = test::FieldNamed(form, QStringLiteral("Pass"));
    QTest::keyClicks(userField, user);
    QTest::keyClicks(passwordField, password);
    QTest::keyClick(passwordField, Qt::Key_Return);
  });
}

struct SeenBox {
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool ownedByForm = false;
};

// Records and dismisses the first message box with `text`.
void DismissBox(const QString& text, SeenBox& seen) {
  WhenModal([=](QWidget* w) { return BoxText(w) == text; },
            [&seen](QWidget* w) {
              auto* box = qobject_cast<QMessageBox*>(w);
              seen = {box->text(), box->windowTitle(), box->icon(),
                      qobject_cast<CLauncherDlg*>(box->parentWidget()) != nullptr};
              QTest::keyClick(box, Qt::Key_Return);
            });
}

class WholeRun : public ::testing::Test {
 protected:
  RunResult Run(const std::string& commandTail) {
    CLauncherApp app(m_setup);
    return app.InitInstance(ParseCommandLine(commandTail));
  }

  // The host's side of one login with the password "pw" and a launch, on a
  // thread: what the client sent, once it has typed exit.
  std::thread ServeOneLogin(std::string opening, std::string& received, std::string* peer = nullptr) {
    return std::thread([this, opening = std::move(opening), &received, peer] {
      if (!m_host.Accept(10s)) return;
      if (peer != nullptr) *peer = m_host.PeerAddress();
      m_host.Send(opening);
      m_host.ReadUntil("\n");
      m_host.Send("Password: ");
      m_host.ReadUntil("pw\n");
      m_host.Send("\r\n$ ");
      m_host.ReadUntil("exit\n");
      m_host.Close();
      received = m_host.Received();
    });
  }

  ScriptedHost m_host;
  SessionSetup m_setup = [this] {
    // The program's limits, with the long ones shortened.
    SessionSetup setup;
    setup.port = m_host.Port();
    setup.limits.readLimit = 3000ms;
    setup.limits.promptQuiet = 300ms;
    setup.limits.watchLimit = 3000ms;
    setup.limits.drainQuiet = 500ms;
    setup.limits.seenQuiet = 100ms;
    return setup;
  }();
};

TEST_F(WholeRun, LogsInLaunchesTheTerminalAndEndsWithStatus0) {
  std::string received;
  std::string peer;
  std::thread host = ServeOneLogin("\xff\xfd\x18\r\nhost login: ", received, &peer);
  LogInThroughTheForm("alice", "pw");
  const RunResult result = Run("127.0.0.1 1 x");
  host.join();
  EXPECT_EQ(result.exitStatus, kExitDone);
  EXPECT_FALSE(result.workerStillRunning);
  EXPECT_EQ(received, "\xff\xfc\x18" "alice\npw\nxterm -geometry 80x25+0+0 -display " + peer +
                          ":1 &\nexit\n");
}

// What the program can know, the user does not type: the user name from
// user@host, or over ssh from ssh's own configuration, read while the form
// is up; the password then has the focus.
TEST_F(WholeRun, TheUserNameComesFilledAndThePasswordHasTheFocus) {
  std::string received;
  std::thread host = ServeOneLogin("\r\nhost login: ", received);
  QString shown;
  bool passwordFocused = false;
  WhenModal(IsForm, [&](QWidget* form) {
    QLineEdit* passwordField = test::FieldNamed(form, QStringLiteral("Pass"));
    shown = test::FieldNamed(form, QStringLiteral("User"))->text();
    passwordFocused = form->focusWidget() == passwordField;
    QTest::keyClicks(passwordField, QStringLiteral("pw"));
    QTest::keyClick(passwordField, Qt::Key_Return);
  });
  const RunResult result = Run("bob@127.0.0.1 1 x");
  host.join();
  EXPECT_EQ(shown, "bob");
  EXPECT_TRUE(passwordFocused);
  EXPECT_EQ(result.exitStatus, kExitDone);
  EXPECT_EQ(received.substr(0, 7), "bob\npw\n");

  // Over ssh: the user ssh's configuration names for the host.
  char folder[] = "/tmp/dovrel-ssh-user-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  m_setup.sshProgram = std::string(folder) + "/ssh";
  {
    std::ofstream script(m_setup.sshProgram);
    script << "#!/bin/sh\n[ \"$1\" = -G ] && printf 'user carol\\nhostname h\\n'\n";
  }
  ::chmod(m_setup.sshProgram.c_str(), 0700);
  QString filled;
  WhenModal(IsForm, [&](QWidget* form) {
    QLineEdit* userField = test::FieldNamed(form, QStringLiteral("User"));
    QTRY_COMPARE_WITH_TIMEOUT(userField->text(), QStringLiteral("carol"), 5000);
    filled = userField->text();
    passwordFocused = form->focusWidget() == test::FieldNamed(form, QStringLiteral("Pass"));
    QTest::keyClick(form, Qt::Key_Escape);
  });
  Run("--ssh somehost");
  EXPECT_EQ(filled, "carol");
  EXPECT_TRUE(passwordFocused);
  ::unlink(m_setup.sshProgram.c_str());
  ::rmdir(folder);
}

TEST_F(WholeRun, CannotConnectIsShownByTheFormThenTheProgramEndsWithStatus1) {
  m_setup.port = [] {
    ScriptedHost gone;
    return gone.Port();
  }();
  SeenBox seen;
  DismissBox("Cannot Connect", seen);
  LogInThroughTheForm("alice", "pw");
  const RunResult result = Run("127.0.0.1");
  EXPECT_EQ(result.exitStatus, kExitNotDone);
  EXPECT_EQ(seen.caption, "dovrel");
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_TRUE(seen.ownedByForm);
}

TEST_F(WholeRun, ALoginIncorrectIsReportedAndEndsWithStatus1) {
  std::string received;
  std::thread host([&] {
    if (!m_host.Accept(10s)) return;
    m_host.Send("login: ");
    m_host.ReadUntil("\n");
    m_host.Send("Password: ");
    m_host.ReadUntil("bad\n");
    m_host.Send("\r\nLogin incorrect\r\nhost login: ");
    m_host.ReadUntilClosed(10s);
    received = m_host.Received();
  });
  SeenBox seen;
  DismissBox("Login incorrect", seen);
  LogInThroughTheForm("alice", "bad");
  const RunResult result = Run("127.0.0.1 0");
  host.join();
  EXPECT_EQ(result.exitStatus, kExitNotDone);
  EXPECT_EQ(seen.caption, "dovrel");
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_TRUE(seen.ownedByForm);
  EXPECT_EQ(received, "alice\nbad\n") << "nothing typed after a refused login";
}

TEST_F(WholeRun, ABadCommandLineShowsTheUsageBoxAndEndsWithStatus2) {
  SeenBox seen;
  WhenModal([](QWidget* w) { return !BoxText(w).isEmpty(); },
            [&seen](QWidget* w) {
              auto* box = qobject_cast<QMessageBox*>(w);
              seen = {box->text(), box->windowTitle(), box->icon(), box->parentWidget() != nullptr};
              QTest::keyClick(box, Qt::Key_Return);
            });
  const RunResult result = Run("myhost 12");
  EXPECT_EQ(result.exitStatus, kExitUsage);
  EXPECT_EQ(seen.text.toStdString(), kUsageText);
  EXPECT_EQ(seen.caption, "dovrel");
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_FALSE(seen.ownedByForm) << "the usage box has no owner";
  EXPECT_FALSE(m_host.Accept(0ms)) << "no network activity";
}

TEST_F(WholeRun, EscapeBeforeOkEndsWithStatus1AndNoConnection) {
  WhenModal(IsForm, [](QWidget* form) { QTest::keyClick(form, Qt::Key_Escape); });
  const RunResult result = Run("127.0.0.1 3");
  EXPECT_EQ(result.exitStatus, kExitNotDone);
  EXPECT_FALSE(m_host.Accept(100ms));
}

// Closing the form in each phase of the session: the program ends with
// status 1, well within the 10 s the teardown may wait, and no worker is
// left behind.
enum class Phase {
  kConnecting,
  kNegotiating,
  kWaitingForLogin,
  kWaitingForPassword,
  kWaitingForShell,
  kWatching,
  kDraining
};

class CloseDuring : public WholeRun, public ::testing::WithParamInterface<Phase> {};

TEST_P(CloseDuring, EndsWithStatus1WithinTheLimit) {
  const Phase phase = GetParam();
  m_setup.limits.readLimit = 60000ms;
  m_setup.limits.watchLimit = 60000ms;
  m_setup.limits.drainQuiet = 60000ms;
  // The watch after the command line ends at once in the draining case.
  if (phase == Phase::kDraining) m_setup.limits.watchLimit = 0ms;
  std::atomic<bool> reached{false};
  std::unique_ptr<test::HangingListener> hanging;
  std::thread host;
  if (phase == Phase::kConnecting) {
    hanging = std::make_unique<test::HangingListener>();
    if (!hanging->IsHanging()) GTEST_SKIP() << "connects to a full backlog do not hang here";
    m_setup.port = hanging->Port();
    reached = true;  // the connect hangs from the start
  } else {
    host = std::thread([&] {
      if (!m_host.Accept(10s)) return;
      const std::pair<const char*, const char*> steps[] = {
          {"\xff\xfd\x18", "\xff\xfc\x18"}, {"login: ", "alice\n"}, {"Password: ", "pw\n"}, {"$ ", " &\n"},
          {"", "exit\n"}};
      const int stepsBefore = static_cast<int>(phase) - static_cast<int>(Phase::kNegotiating);
      for (int i = 0; i < stepsBefore; ++i) {
        if (!m_host.Send(steps[i].first) || !m_host.ReadUntil(steps[i].second)) return;
      }
      if (phase == Phase::kNegotiating) m_host.Send("\xff\xfd");  // a request cut short
      std::this_thread::sleep_for(200ms);
      reached = true;
      m_host.ReadUntilClosed(15s);
    });
  }
  LogInThroughTheForm("alice", "pw");
  std::chrono::steady_clock::time_point closed;
  WhenModal([&](QWidget* w) { return reached && IsForm(w); },
            [&](QWidget* form) {
              closed = std::chrono::steady_clock::now();
              QTest::keyClick(form, Qt::Key_Escape);
            });
  const RunResult result = Run("127.0.0.1");
  const auto took = std::chrono::steady_clock::now() - closed;
  if (host.joinable()) host.join();
  EXPECT_EQ(result.exitStatus, kExitNotDone);
  EXPECT_FALSE(result.workerStillRunning);
  EXPECT_LT(took, 2s);
}

std::string PhaseName(const ::testing::TestParamInfo<Phase>& phase) {
  static const char* const kNames[] = {"Connecting",      "Negotiating", "WaitingForLogin", "WaitingForPassword",
                                       "WaitingForShell", "Watching",    "Draining"};
  return kNames[static_cast<int>(phase.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryPhase, CloseDuring,
                         ::testing::Values(Phase::kConnecting, Phase::kNegotiating, Phase::kWaitingForLogin,
                                           Phase::kWaitingForPassword, Phase::kWaitingForShell, Phase::kWatching,
                                           Phase::kDraining),
                         PhaseName);

}  // namespace
}  // namespace dovrel
