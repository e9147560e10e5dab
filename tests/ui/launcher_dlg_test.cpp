// The login form driven as a user would, headless.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>
#include <QLabel>
#include <QMessageBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <functional>
#include <vector>
#include <chrono>
#include <clocale>
#include <string>
#include <thread>

#include "ui/launcher_dlg.h"
#include "ui/launcher_texts.h"
#include "ui/message_box.h"
#include "scripted_host.h"
#include "ui_driver.h"

namespace dovrel {

namespace {

using namespace std::chrono_literals;
using test::BoxText;
using test::FieldNamed;
using test::TypeText;
using test::WhenModal;

QPushButton* OkButton(CLauncherDlg& dialog) { return dialog.findChild<QPushButton*>(); }

// Tests that start a worker point it at a loopback address: "myhost" would
// be looked up in DNS.
class Form : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dialog.SetTarget({"myhost", 2, true});
    m_dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_dialog));
    m_user = FieldNamed(&m_dialog, QStringLiteral("User"));
    m_password = FieldNamed(&m_dialog, QStringLiteral("Pass"));
    m_host = FieldNamed(&m_dialog, QStringLiteral("Host"));
    ASSERT_TRUE(m_user && m_password && m_host);
  }

  // The host a worker started by a test connects to.
  test::ScriptedHost m_scripted;
  CLauncherDlg m_dialog{[this] {
    SessionSetup setup;
    setup.port = m_scripted.Port();
    setup.limits.readLimit = std::chrono::milliseconds(60000);
    return setup;
  }()};
  QLineEdit* m_user = nullptr;
  QLineEdit* m_password = nullptr;
  QLineEdit* m_host = nullptr;
};

TEST_F(Form, ShowsTheHostReadOnlyAndStartsInTheUserName) {
  EXPECT_EQ(m_dialog.windowTitle(), "Dovrel");
  EXPECT_EQ(m_host->text(), "myhost:2");
  EXPECT_TRUE(m_host->isReadOnly());
  EXPECT_EQ(m_user->text(), "");
  EXPECT_EQ(m_password->text(), "");
  EXPECT_EQ(m_password->echoMode(), QLineEdit::Password);
  EXPECT_EQ(QApplication::focusWidget(), m_user);
  EXPECT_TRUE(m_dialog.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(m_dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(m_dialog.findChildren<QPushButton*>().size(), 1) << "OK is the only button";
  EXPECT_TRUE(OkButton(m_dialog)->isDefault());
}

TEST_F(Form, TabsFromUserNameToPasswordToOkToHost) {
  QWidget* expected[] = {m_password, OkButton(m_dialog), m_host, m_user};
  for (QWidget* next : expected) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next);
  }
}

TEST_F(Form, LabelsNameTheirFields) {
  std::map<QString, QWidget*> buddies;
  QString version;
  for (auto* label : m_dialog.findChildren<QLabel*>()) {
    if (label->buddy() != nullptr) buddies[label->text()] = label->buddy();
    if (label->text().contains(DOVREL_VERSION)) version = label->text();
  }
  for (const auto& [text, field] : buddies) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(field);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), text) << "assistive technology announces the label";
  }
  EXPECT_EQ(buddies["Host"], m_host);
  EXPECT_EQ(buddies["User"], m_user);
  EXPECT_EQ(buddies["Pass"], m_password);
  EXPECT_TRUE(version.contains("2005")) << version.toStdString();
}

TEST_F(Form, CarriesItsIconAndTheVersionItem) {
  const QList<QSize> sizes = m_dialog.windowIcon().availableSizes();
  for (const int px : {16, 32, 48}) EXPECT_TRUE(sizes.contains(QSize(px, px))) << px;
  const auto* menu = m_dialog.findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->actions().size(), 1);
  EXPECT_EQ(menu->actions().front()->text(),
            QString::fromUtf8("バージョン情報 dovrel(&A)..."));
}

TEST_F(Form, RendersTheJapaneseItemWhereAJapaneseFontIsInstalled) {
  if (QFontDatabase::families(QFontDatabase::Japanese).isEmpty()) {
    if (qEnvironmentVariableIsSet("CI")) FAIL() << "no Japanese font installed";
    GTEST_SKIP() << "no Japanese font installed (scripts/test installs fonts-ipafont-gothic)";
  }
  const auto* menu = m_dialog.findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  const QString text = menu->actions().front()->text().remove(QChar('&'));
  QTextLayout layout(text, menu->font());
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  QList<QRawFont> fonts;
  for (const QGlyphRun& run : layout.glyphRuns()) fonts.append(run.rawFont());
  for (const char32_t c : text.toUcs4()) {
    const bool drawn = std::any_of(fonts.begin(), fonts.end(),
                                   [c](const QRawFont& font) { return font.supportsCharacter(c); });
    EXPECT_TRUE(drawn) << "U+" << std::hex << static_cast<unsigned>(c) << " would show as a box";
  }
}

TEST_F(Form, TakesAtMost20BytesTypedInUtf8) {
  QTest::keyClicks(m_user, "abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(m_user->text(), "abcdefghijklmnopqrst");
  TypeText(m_password, QString::fromUtf8("日本語のパスワード"));
  EXPECT_EQ(m_password->text(), QString::fromUtf8("日本語のパス")) << "6 characters of 3 bytes";
}

TEST_F(Form, CutsAPasteBackToWhatFits) {
  QTest::keyClicks(m_user, "ab");
  m_user->setCursorPosition(1);
  QApplication::clipboard()->setText(QStringLiteral("0123456789012345678901234567890"));
  m_user->paste();
  EXPECT_EQ(m_user->text(), "a012345678901234567b");
  EXPECT_EQ(m_user->cursorPosition(), 19);
  // A huge paste costs no more than a small one.
  m_password->clear();
  QApplication::clipboard()->setText(QString(100'000, QChar('p')));
  m_password->paste();
  EXPECT_EQ(m_password->text(), QString(20, QChar('p')));
}

TEST_F(Form, CountsBytesInADoubleByteLocale) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  if (std::setlocale(LC_CTYPE, "ja_JP.eucJP") == nullptr) {
    GTEST_SKIP() << "locale ja_JP.eucJP is not installed (scripts/test generates it)";
  }
  TypeText(m_user, QString::fromUtf8("日本語のユーザー名です"));
  const QString typed = m_user->text();
  std::setlocale(LC_CTYPE, saved.c_str());
  EXPECT_EQ(typed, QString::fromUtf8("日本語のユーザー名で")) << "10 characters of 2 bytes";
}

TEST_F(Form, EmptyFieldsAreRefusedAndTheFormStays) {
  for (const auto& [user, password] : {std::pair{"", "pw"}, std::pair{"me", ""}, std::pair{"", ""}}) {
    m_user->setText(user);
    m_password->setText(password);
    QString seen;
    WhenModal([](QWidget* w) { return !BoxText(w).isEmpty(); },
              [&](QWidget* box) {
                seen = BoxText(box) + "|" + box->windowTitle() + "|" +
                       QString::number(box->parentWidget() == &m_dialog);
                QTest::keyClick(box, Qt::Key_Return);
              });
    QTest::mouseClick(OkButton(m_dialog), Qt::LeftButton);
    EXPECT_EQ(seen, "No UserID/Password|dovrel|1") << user << "/" << password;
    EXPECT_TRUE(m_dialog.isVisible());
    EXPECT_EQ(m_dialog.Outcome(), LaunchCause::kUndecided) << "no worker";
  }
}

TEST_F(Form, EscapeClosesTheFormAndEnterDoesNot) {
  QSignalSpy rejected(&m_dialog, &QDialog::rejected);
  QSignalSpy accepted(&m_dialog, &QDialog::accepted);
  WhenModal([](QWidget* w) { return !BoxText(w).isEmpty(); },
            [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); });
  QTest::keyClick(m_user, Qt::Key_Return);  // empty fields: the box, then back
  EXPECT_TRUE(m_dialog.isVisible());
  EXPECT_EQ(accepted.count(), 0);
  QTest::keyClick(m_user, Qt::Key_Escape);
  EXPECT_EQ(rejected.count(), 1);
  EXPECT_FALSE(m_dialog.isVisible());
}

TEST_F(Form, EnterInAFieldActsAsOkAndASecondOkStartsNoSecondWorker) {
  test::ScriptedHost& host = m_scripted;
  m_dialog.SetTarget({"127.0.0.1", 2, true});
  QTest::keyClicks(m_user, "alice");
  QTest::keyClicks(m_password, "secret");
  QTest::keyClick(m_password, Qt::Key_Return);
  EXPECT_FALSE(OkButton(m_dialog)->isEnabled());
  // The worker has its own copies: the form keeps none, in its widgets or
  // in the fields they are filled from.
  EXPECT_TRUE(m_user->text().isEmpty());
  EXPECT_TRUE(m_password->text().isEmpty());
  m_dialog.SetTarget({"127.0.0.1", 2, true});  // fills the widgets from the fields again
  EXPECT_TRUE(m_password->text().isEmpty());
  // The locked button is not the only guard: OK reached any other way (a
  // queued click, a shortcut) starts nothing either.
  m_dialog.OnLaunch();
  EXPECT_TRUE(m_dialog.isVisible());
  ASSERT_TRUE(host.Accept());
  EXPECT_FALSE(host.Accept(300ms)) << "a second worker connected";
  EXPECT_TRUE(m_dialog.StopWorker());
  EXPECT_EQ(m_dialog.Outcome(), LaunchCause::kAborted);
}

TEST_F(Form, WhileTheWorkerRunsTheFieldsAreLockedAndAStatusLineSaysWhatHappens) {
  m_dialog.SetTarget({"127.0.0.1", 2, true});
  QTest::keyClicks(m_user, "alice");
  QTest::keyClicks(m_password, "secret");
  QTest::keyClick(m_password, Qt::Key_Return);
  EXPECT_FALSE(m_user->isEnabled());
  EXPECT_FALSE(m_password->isEnabled());
  EXPECT_FALSE(OkButton(m_dialog)->isEnabled());
  EXPECT_EQ(m_dialog.cursor().shape(), Qt::BusyCursor);
  ASSERT_TRUE(m_scripted.Accept());
  ASSERT_TRUE(m_scripted.Send("login: "));
  const auto statusShown = [this](const char* text) {
    return QTest::qWaitFor([&] {
      const auto labels = m_dialog.findChildren<QLabel*>();
      return std::any_of(labels.begin(), labels.end(), [&](QLabel* label) {
        return label->isVisible() && label->text() == QString::fromUtf8(text);
      });
    }, 5000);
  };
  EXPECT_TRUE(statusShown(texts::kLoggingIn));
  // Escape still ends the run at once.
  QTest::keyClick(&m_dialog, Qt::Key_Escape);
  EXPECT_FALSE(m_dialog.isVisible());
  EXPECT_TRUE(m_dialog.StopWorker());
  EXPECT_EQ(m_dialog.Outcome(), LaunchCause::kAborted);
}

// The host's words are quoted in the box as text: markup that names a file
// loads nothing, and a C1 control does not reach the box.
TEST_F(Form, TheHostsWordsInABoxAreTextNeverMarkup) {
  m_dialog.SetTarget({"127.0.0.1", 2, true});
  QTest::keyClicks(m_user, "alice");
  QTest::keyClicks(m_password, "secret");
  const std::string said = "<img src=\"/dev/zero\"><b>xterm</b>: Xt error: Can't open display: x\xc2\x9b" "2J";
  std::thread host([&] {
    if (!m_scripted.Accept()) return;
    m_scripted.Send("login: ");
    m_scripted.ReadUntil("alice\n");
    m_scripted.Send("Password: ");
    m_scripted.ReadUntil("secret\n");
    m_scripted.Send("\r\n$ ");
    m_scripted.ReadUntil("&\n");
    m_scripted.Send(said + "\r\n$ ");
    m_scripted.ReadUntil("exit\n");
    m_scripted.Close();
  });
  QString text;
  Qt::TextFormat format = Qt::AutoText;
  WhenModal([](QWidget* w) { return !BoxText(w).isEmpty(); },
            [&](QWidget* w) {
              auto* box = qobject_cast<QMessageBox*>(w);
              text = box->text();
              format = box->textFormat();
              QTest::keyClick(box, Qt::Key_Return);
            });
  QTest::keyClick(m_password, Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([this] { return !m_dialog.isVisible(); }, 10000));
  host.join();
  EXPECT_EQ(format, Qt::PlainText);
  EXPECT_TRUE(text.contains(QStringLiteral("<img src=\"/dev/zero\"><b>xterm</b>: Xt error"))) << text.toStdString();
  EXPECT_FALSE(text.contains(QChar(0x9B))) << text.toStdString();
  EXPECT_EQ(m_dialog.Outcome(), LaunchCause::kDisplayFailed);
}

TEST_F(Form, ClosingTheFormStopsAConnectedWorkerAtOnce) {
  test::ScriptedHost& host = m_scripted;
  m_dialog.SetTarget({"127.0.0.1", 2, true});
  QTest::keyClicks(m_user, "alice");
  QTest::keyClicks(m_password, "secret");
  QTest::keyClick(m_password, Qt::Key_Return);
  ASSERT_TRUE(host.Accept());
  ASSERT_TRUE(host.Send("\xff\xfd\x01"));
  ASSERT_TRUE(host.ReadUntil("\xff\xfc\x01"));
  QTest::keyClick(m_user, Qt::Key_Escape);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(m_dialog.StopWorker());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(host.ReadUntilClosed(1s));
  EXPECT_EQ(m_dialog.Outcome(), LaunchCause::kAborted);
}

// Over ssh, keys or the agent may log in alone: an empty password goes
// through (an empty user name still does not), and the status line says ssh.
TEST(SshForm, TakesAnEmptyPasswordAndSaysWhySshCannotRun) {
  SessionSetup setup;
  setup.options.ssh = true;  // and no askpass helper: the launch cannot start ssh
  CLauncherDlg dialog(std::move(setup));
  dialog.SetTarget({"127.0.0.1", 2, true});
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::keyClicks(FieldNamed(&dialog, QStringLiteral("User")), "alice");
  QString seen;
  WhenModal([](QWidget* w) { return !BoxText(w).isEmpty(); },
            [&](QWidget* box) {
              seen = BoxText(box);
              QTest::keyClick(box, Qt::Key_Return);
            });
  QTest::mouseClick(OkButton(dialog), Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 10000));
  EXPECT_TRUE(seen.startsWith(QStringLiteral("--ssh needs the ssh client"))) << seen.toStdString();
  EXPECT_EQ(dialog.Outcome(), LaunchCause::kSshMissing);
}

// The host-key box: Cancel is the default, Escape cancels, only Connect
// (or its shortcut) goes on; ssh's words are shown as text.
// The host-key question and the xterm question: only their own button goes
// on; Return (Cancel is the default), Escape, the close box, and the owner
// closing the box as the launch ends all say no.
TEST(QuestionBox, OnlyItsOwnButtonGoesOn) {
  struct Case {
    std::function<void(QWidget*)> act;
    bool yes;
  };
  for (const auto& [button, key] : {std::pair{"&Connect", Qt::Key_C}, std::pair{"&Start xterm", Qt::Key_S}}) {
    QPointer<QMessageBox> open;
    const std::vector<Case> cases = {
        {[](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); }, false},
        {[](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); }, false},
        {[](QWidget* box) { box->close(); }, false},
        {[&open](QWidget* /*box*/) { open->reject(); }, false},
        {[key = key](QWidget* box) { QTest::keyClick(box, key, Qt::AltModifier); }, true},
    };
    for (const Case& c : cases) {
      Qt::TextFormat format = Qt::AutoText;
      WhenModal([](QWidget* w) { return !BoxText(w).isEmpty(); },
                [&](QWidget* box) {
                  format = qobject_cast<QMessageBox*>(box)->textFormat();
                  c.act(box);
                });
      EXPECT_EQ(AskToGoOn(QStringLiteral("<b>ED25519</b> key fingerprint is SHA256:x"), QString::fromUtf8(button),
                          nullptr, open),
                c.yes)
          << button;
      EXPECT_EQ(format, Qt::PlainText);
      EXPECT_TRUE(open.isNull()) << "no box is pointed at once it is gone";
    }
  }
}

}  // namespace
}  // namespace dovrel
