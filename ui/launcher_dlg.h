#pragma once

#include <QDialog>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>

#include <memory>
#include <string>

#include "session/launch/session_observer.h"
#include "session/launch/session_request.h"
#include "ui/end_words/end_words.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace dovrel {

class SshConfigReader;
class WorkerController;

// The login form: the host (read-only), the user name and the password. OK
// starts one worker that logs in and launches the remote terminal; the form
// ends through Escape, the close box or the worker's close request.
class CLauncherDlg : public QDialog {
  Q_OBJECT
 public:
  // `setup`: where and how the worker works (the port, its limits, the
  // display it checks and watches, the verbose report).
  explicit CLauncherDlg(SessionSetup setup = {}, QWidget* parent = nullptr);
  ~CLauncherDlg() override;

  // Filled by start-up before the form runs.
  void SetTarget(const TerminalTarget& target);
  // A user name the command line gave (user@host), in the locale's
  // encoding: the field shows it and the password has the focus.
  void SetUserName(const std::string& userName);

  // Stops a running worker and waits for it, at most 10 s, while it holds a
  // connection. True when no worker is left running.
  bool StopWorker();
  // Why the launch ended (kUndecided when OK never started one).
  [[nodiscard]] LaunchCause Outcome() const;

  // OK: starts the worker, once.
  void OnLaunch();

 signals:
  // The launch has ended, before its box shows: whoever started the form
  // writes its line for standard error.
  void launchEnded(const dovrel::SessionEnd& end);

 protected:
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Moves text between the fields and the widgets. Reading (`save`) fails
  // when a field is longer than the byte limit, after telling the user.
  bool DoDataExchange(bool save);
  // The worker is done: its box, if any, then the form closes.
  void OnWorkerFinished(const SessionEnd& end);
  // ssh's configuration for the host has been read while the form is up:
  // its user fills an empty field the user has not typed into.
  void OnSshConfigRead(const std::shared_ptr<const SshConfigAhead>& config);
  // The launch asks the user (over ssh: an unknown host key).
  void OnQuestion(const UserQuestion& question, const std::shared_ptr<AnswerSlot>& slot);
  void ShowEndBox(EndBox message, const QString& text);
  // Over ssh: starts reading ssh's configuration for the host (and
  // `userName`, when given), so that the launch need not wait for it.
  void ReadSshConfigAhead(const std::string& userName);
  void BuildForm();
  void OnInitDialog();
  void CentreOnScreen();
  // While the worker runs: fields and OK disabled, a busy cursor, the status line.
  void ShowWorking(const char* status);
  // Back to the form as it was before OK.
  void ShowIdle();

  std::string m_strHostName;
  int m_nDisplay = 0;
  bool m_bXterm = false;
  bool m_bSsh = false;  // --ssh: the password may be empty
  QIcon m_hIcon;
  std::string m_strHostLabel;
  SecretString m_strUserId;  // in the locale's encoding, wiped when replaced or gone
  SecretString m_strPassword;

  // The worker's owner: a child of the form.
  WorkerController* m_worker = nullptr;
  // Over ssh: reads ssh's configuration while the form is up.
  SshConfigReader* m_configReader = nullptr;
  std::shared_ptr<const SshConfigAhead> m_sshConfig;
  QLineEdit* m_host = nullptr;
  QLineEdit* m_userId = nullptr;
  QLineEdit* m_password = nullptr;
  QPushButton* m_ok = nullptr;
  QLabel* m_version = nullptr;
  QLabel* m_status = nullptr;
  QMenu* m_systemMenu = nullptr;
  // The question box while one is up.
  QPointer<QMessageBox> m_question;
  bool m_centred = false;
};

// The caption of every message box: the program file's name without
// directory and extension.
QString ApplicationCaption();

}  // namespace dovrel
