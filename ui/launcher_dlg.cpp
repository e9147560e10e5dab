#include "ui/launcher_dlg.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <utility>

#include "ui/byte_limit_validator.h"
#include "ui/form_layout.h"
#include "ui/launcher_texts.h"
#include "ui/locale_text.h"
#include "ui/message_box.h"
#include "ui/ssh_config_reader.h"
#include "ui/worker_controller.h"

// The form's pictures live in a static library, whose resources must be
// registered by hand; this must be done outside any namespace.
static void RegisterFormResources() { Q_INIT_RESOURCE(dovrel); }

namespace dovrel {

namespace {


// The box's words for how the launch ended, in the form's language.
QString MessageText(EndBox message, const SessionEnd& end) {
  switch (message) {
    case EndBox::kCannotConnect:
      return QString::fromUtf8(texts::kCannotConnect);
    case EndBox::kLoginIncorrect:
      return QCoreApplication::translate(texts::kContext, texts::kLoginIncorrect);
    case EndBox::kLaunchFailed:
      return QString::fromStdString(DescribeLaunchProblem(end, [](const char* context, const char* source) {
        return QCoreApplication::translate(context, source).toStdString();
      }));
  }
  return {};
}

const char* PhaseText(SessionPhase phase, bool ssh) {
  switch (phase) {
    case SessionPhase::kConnecting:
      return ssh ? texts::kConnectingSsh : texts::kConnecting;
    case SessionPhase::kLoggingIn:
      return ssh ? texts::kLoggingInSsh : texts::kLoggingIn;
    case SessionPhase::kStartingTerminal:
      return texts::kStartingTerminal;
    case SessionPhase::kWaitingForWindow:
      return texts::kWaitingForWindow;
  }
  return "";
}

}  // namespace

QString ApplicationCaption() { return QCoreApplication::applicationName(); }

CLauncherDlg::CLauncherDlg(SessionSetup setup, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      m_bSsh(setup.options.ssh),
      m_worker(new WorkerController(std::move(setup), this)) {
  connect(m_worker, &WorkerController::phaseChanged, this,
          [this](SessionPhase phase) { ShowWorking(PhaseText(phase, m_bSsh)); });
  connect(m_worker, &WorkerController::questionAsked, this, &CLauncherDlg::OnQuestion);
  connect(m_worker, &WorkerController::finished, this, &CLauncherDlg::OnWorkerFinished);
  RegisterFormResources();
  // The window icon at the sizes window managers ask for; the scalable
  // picture is installed for the desktop's icon theme.
  for (const int size : {16, 32, 48}) {
    m_hIcon.addPixmap(LoadPng(QStringLiteral(":/icons/dovrel-%1.png").arg(size)));
  }
  BuildForm();
  OnInitDialog();
}

CLauncherDlg::~CLauncherDlg() {
  StopWorker();
  delete m_configReader;
}

void CLauncherDlg::SetTarget(const TerminalTarget& target) {
  m_strHostName = target.hostName;
  m_nDisplay = target.display;
  m_bXterm = target.xterm;
  m_strHostLabel = target.hostName + ':' + std::to_string(target.display);
  DoDataExchange(false);
  ReadSshConfigAhead({});
}

void CLauncherDlg::BuildForm() {
  setWindowTitle(QString::fromUtf8(texts::kCaption));
  setFont(FormFont());
  const DialogUnits du(fontMetrics());

  // Created in tab order: user name, password, OK, host.
  m_userId = AddEdit(this, du.Rect(52, 25, 128, 14));
  m_password = AddEdit(this, du.Rect(52, 43, 128, 14));
  m_password->setEchoMode(QLineEdit::Password);
  for (QLineEdit* field : {m_userId, m_password}) {
    field->setValidator(new ByteLimitValidator(texts::kFieldMaxBytes, field));
  }

  m_ok = new QPushButton(QString::fromUtf8(texts::kOk), this);
  m_ok->setGeometry(du.Rect(130, 62, 50, 16));
  m_ok->setDefault(true);
  connect(m_ok, &QPushButton::clicked, this, &CLauncherDlg::OnLaunch);

  m_host = AddEdit(this, du.Rect(52, 7, 128, 14));
  m_host->setReadOnly(true);

  AddLabel(this, QString::fromUtf8(texts::kHostLabel), du.Rect(18, 10, 15, 8))->setBuddy(m_host);
  AddLabel(this, QString::fromUtf8(texts::kUserLabel), du.Rect(19, 28, 15, 8))->setBuddy(m_userId);
  AddLabel(this, QString::fromUtf8(texts::kPassLabel), du.Rect(19, 44, 15, 8))->setBuddy(m_password);
  m_version = AddLabel(this, QString::fromUtf8(texts::kVersionLabel), du.Rect(7, 70, 68, 8));
  // Takes the version's place while the worker runs.
  m_status = AddLabel(this, QString(), du.Rect(7, 70, 118, 8));
  m_status->hide();

  setTabOrder(m_userId, m_password);
  setTabOrder(m_password, m_ok);
  setTabOrder(m_ok, m_host);
  setFixedSize(du.X(187), du.Y(85));
}

void CLauncherDlg::OnInitDialog() {
  DoDataExchange(false);

  // The window manager owns the window menu here, so the item lives in the
  // form's context menu. Choosing it does nothing.
  m_systemMenu = new QMenu(this);
  m_systemMenu->addAction(QString::fromUtf8(texts::kAboutItem));

  setWindowIcon(m_hIcon);
  m_userId->setFocus();
}

void CLauncherDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!m_centred) {
    CentreOnScreen();
    m_centred = true;
  }
  raise();
  activateWindow();
}

void CLauncherDlg::CentreOnScreen() {
  // Qt places a parentless dialog off centre; centre it on the work area.
  const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

void CLauncherDlg::contextMenuEvent(QContextMenuEvent* event) { m_systemMenu->popup(event->globalPos()); }

bool CLauncherDlg::DoDataExchange(bool save) {
  if (!save) {
    m_host->setText(FromLocaleBytes(m_strHostLabel));
    m_userId->setText(FromLocaleBytes(m_strUserId.View()));
    m_password->setText(FromLocaleBytes(m_strPassword.View()));
    return true;
  }

  if (const auto label = ToLocaleBytes(m_host->text())) m_strHostLabel = *label;
  for (auto [field, target] : {std::pair{m_userId, &m_strUserId}, std::pair{m_password, &m_strPassword}}) {
    auto converted = ToLocaleBytes(field->text());
    SecretString bytes = converted ? SecretString::TakeFrom(*converted) : SecretString();
    if (!converted || bytes.View().size() > static_cast<std::size_t>(texts::kFieldMaxBytes)) {
      ShowMessageBox(QMessageBox::Warning, QString::fromUtf8(texts::kTooLong).arg(texts::kFieldMaxBytes), this);
      field->setFocus();
      field->selectAll();
      return false;
    }
    *target = std::move(bytes);
  }
  return true;
}

void CLauncherDlg::OnLaunch() {
  // At most one worker, however OK was reached (a click, Enter, a queued call).
  if (m_worker->Started()) return;
  // A field that cannot be read is not sent: the user has been told why.
  if (!DoDataExchange(true)) return;
  // Over ssh, keys or the agent may log in alone.
  if (m_strUserId.Empty() || (m_strPassword.Empty() && !m_bSsh)) {
    ShowMessageBox(QMessageBox::NoIcon, QString::fromUtf8(texts::kNoUserIdPassword), this);
    return;
  }

  SessionRequest request{{m_strHostName, m_nDisplay, m_bXterm}, SecretBytes::CopyOf(m_strUserId.View()),
                         SecretBytes::CopyOf(m_strPassword.View())};
  // The form's own changes come before the worker exists: once it runs, it
  // may post to the form's event queue at any moment.
  ShowWorking(PhaseText(SessionPhase::kConnecting, m_bSsh));
  if (!m_worker->Start(std::move(request), m_sshConfig)) {
    // No thread: nothing happens; OK may be pressed again.
    ShowIdle();
    return;
  }
  // The worker holds its own copies now: the form keeps none, neither in
  // its fields nor in its widgets (setText also drops the undo history).
  m_strUserId = SecretString();
  m_strPassword = SecretString();
  m_userId->setText(QString());
  m_password->setText(QString());
}

bool CLauncherDlg::StopWorker() { return m_worker->Stop(); }

LaunchCause CLauncherDlg::Outcome() const { return m_worker->Outcome(); }

void CLauncherDlg::OnWorkerFinished(const SessionEnd& end) {
  // A question the launch no longer waits for closes, as if cancelled.
  if (m_question) m_question->reject();
  emit launchEnded(end);
  if (const auto message = BoxOf(end)) ShowEndBox(*message, MessageText(*message, end));
  reject();
}

void CLauncherDlg::OnQuestion(const UserQuestion& question, const std::shared_ptr<AnswerSlot>& slot) {
  const QString host = QString::fromStdString(question.hostName);
  switch (question.kind) {
    case UserQuestion::Kind::kHostKey:
      slot->Give(AskToGoOn(QCoreApplication::translate(texts::kContext, texts::kHostKeyQuestion)
                               .arg(host, FromLocaleBytes(QuestionWords(question))),
                           QCoreApplication::translate(texts::kContext, texts::kConnectButton), this, m_question));
      return;
    case UserQuestion::Kind::kStartXterm:
      slot->Give(AskToGoOn(QCoreApplication::translate(texts::kContext, texts::kStartXtermQuestion).arg(host),
                           QCoreApplication::translate(texts::kContext, texts::kStartXtermButton), this, m_question));
      return;
  }
}

void CLauncherDlg::ShowWorking(const char* status) {
  for (QWidget* input : {static_cast<QWidget*>(m_userId), static_cast<QWidget*>(m_password),
                         static_cast<QWidget*>(m_ok)}) {
    input->setEnabled(false);
  }
  setCursor(Qt::BusyCursor);
  m_version->hide();
  const QString text = QCoreApplication::translate(texts::kContext, status);
  if (m_status->text() != text) m_status->setText(text);
  m_status->show();
}

void CLauncherDlg::ShowIdle() {
  for (QWidget* input : {static_cast<QWidget*>(m_userId), static_cast<QWidget*>(m_password),
                         static_cast<QWidget*>(m_ok)}) {
    input->setEnabled(true);
  }
  unsetCursor();
  m_status->hide();
  m_version->show();
}

void CLauncherDlg::ShowEndBox(EndBox message, const QString& text) {
  // Why the terminal did not start is a warning; the form's other boxes
  // keep their plain look.
  const auto icon = message == EndBox::kLaunchFailed ? QMessageBox::Warning : QMessageBox::NoIcon;
  ShowMessageBox(icon, text, this);
}

}  // namespace dovrel
