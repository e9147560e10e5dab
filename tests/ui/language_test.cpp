// The form in the user's language: run once under LANG=ja_JP.UTF-8 and once
// under C.UTF-8. The program's own additions follow the locale; the system's
// own texts never change; standard error stays English.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <memory>

#include "fake_display.h"
#include "ui/launcher_dlg.h"
#include "ui/worker_controller.h"
#include "ui/launcher_texts.h"
#include "scripted_host.h"
#include "ui_driver.h"

namespace dovrel {
namespace {

bool Japanese() { return QLocale().language() == QLocale::Japanese; }

// The text expected in this run's language.
QString Expected(const char* english, const char* japanese) {
  return Japanese() ? QString::fromUtf8(japanese) : QString::fromUtf8(english);
}

bool LabelShown(QWidget& form, const QString& text) {
  return QTest::qWaitFor(
      [&] {
        const auto labels = form.findChildren<QLabel*>();
        return std::any_of(labels.begin(), labels.end(),
                           [&](QLabel* label) { return label->isVisible() && label->text() == text; });
      },
      5000);
}

TEST(Language, TheProgramsOwnTextsFollowTheLocaleAndTheSystemsOwnDoNot) {
  const char* lang = std::getenv("LANG");
  ASSERT_NE(lang, nullptr);
  EXPECT_EQ(Japanese(), std::string(lang).starts_with("ja")) << "the locale is taken from LANG: " << lang;

  // A display that takes no TCP connections and has no X server at all:
  // the worker stops before the login with a box that says why.
  auto display = std::make_shared<test::FakeDisplay>();
  display->reach = LocalDisplay::Reach::kRefused;
  test::ScriptedHost host;
  SessionSetup setup;
  setup.port = host.Port();
  setup.display = display;
  CLauncherDlg form(setup);
  form.SetTarget({"127.0.0.1", 1, true});
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  // The system's own texts, in every locale.
  EXPECT_EQ(form.windowTitle(), "Dovrel");
  for (const char* own : {"Host", "User", "Pass", texts::kVersionLabel}) {
    EXPECT_TRUE(LabelShown(form, QString::fromUtf8(own))) << own;
  }
  EXPECT_EQ(form.findChild<QPushButton*>()->text(), "OK");
  const auto menu = form.findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->actions().front()->text(), QString::fromUtf8(texts::kAboutItem));

  // Qt's own translation is loaded for the standard buttons.
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), Expected("Cancel", "キャンセル"));

  QString boxText;
  QString boxButton;
  test::WhenModal([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                  [&](QWidget* w) {
                    auto* box = qobject_cast<QMessageBox*>(w);
                    boxText = box->text();
                    boxButton = box->buttons().front()->text();
                    box->accept();
                  });
  test::FieldNamed(&form, QStringLiteral("User"))->setText(QStringLiteral("alice"));
  test::FieldNamed(&form, QStringLiteral("Pass"))->setText(QStringLiteral("secret"));
  form.OnLaunch();
  // The status line while it works.
  EXPECT_TRUE(LabelShown(form, Expected("Connecting…", "接続しています…")) ||
              LabelShown(form, Expected("Logging in…", "ログインしています…")));
  ASSERT_TRUE(host.Accept());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxText.isEmpty(); }, 10000));
  EXPECT_TRUE(boxText.startsWith(Expected("There is no X server on display :1 of this machine",
                                          "このマシンのディスプレイ :1 に X サーバーがありません")))
      << boxText.toStdString();
  EXPECT_EQ(boxButton, QCoreApplication::translate("QPlatformTheme", "OK")) << "Qt's own button";
  EXPECT_TRUE(form.StopWorker());

  // "Login incorrect" in its box.
  test::WhenModal([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                  [&](QWidget* w) {
                    boxText = qobject_cast<QMessageBox*>(w)->text();
                    qobject_cast<QMessageBox*>(w)->accept();
                  });
  // As the worker hands its end over.
  WorkerController* worker = form.findChild<WorkerController*>();
  ASSERT_NE(worker, nullptr);
  emit worker->finished(SessionEnd{{LaunchCause::kLoginIncorrect}, {}, false});
  EXPECT_EQ(boxText, Expected("Login incorrect", "ログインできませんでした。ユーザー名とパスワードを確かめてください。"));
  // "Cannot Connect" is the system's own.
  test::WhenModal([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                  [&](QWidget* w) {
                    boxText = qobject_cast<QMessageBox*>(w)->text();
                    qobject_cast<QMessageBox*>(w)->accept();
                  });
  emit worker->finished(SessionEnd{{LaunchCause::kCannotConnect}, {}, false});
  EXPECT_EQ(boxText, "Cannot Connect");
}

}  // namespace
}  // namespace dovrel
