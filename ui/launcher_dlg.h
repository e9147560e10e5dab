#pragma once

#include <QDialog>
#include <QIcon>

#include <memory>
#include <string>

#include "session_observer.h"
#include "session_request.h"

class QLineEdit;
class QMenu;
class QPushButton;

namespace dovrel {

class LauncherSession;
class SessionBridge;
class SessionThread;

// The login form: the host (read-only), the user name and the password. OK
// starts one worker that logs in and launches the remote terminal; the form
// ends through Escape, the close box or the worker's close request.
class CLauncherDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CLauncherDlg(QWidget* parent = nullptr);
  ~CLauncherDlg() override;

  // Filled by start-up before the form runs.
  void SetTarget(const std::string& hostName, int display, bool xterm);
  // Test seam: the port and limits the worker uses.
  void SetSessionTiming(const SessionTiming& timing) { m_timing = timing; }

  // Moves text between the fields and the widgets. Reading (`save`) fails
  // when a field is longer than the byte limit, after telling the user.
  bool DoDataExchange(bool save);

  // Stops a running worker and waits for it, at most 10 s, while it holds a
  // connection. True when no worker is left running.
  bool StopWorker();
  // How the worker's session ended (kNotRun when OK never started one).
  [[nodiscard]] SessionOutcome Outcome() const;
  [[nodiscard]] bool HasWorker() const { return m_pSessionThread != nullptr; }

  // Shows a worker's message in a box owned by the form (user-interface thread).
  void ShowSessionMessage(SessionMessage message);

  [[nodiscard]] QMenu* SystemMenu() const { return m_systemMenu; }

 public slots:
  void OnLaunch();
  // The worker's request for a box (`message` is a SessionMessage); tells
  // the bridge once the user has dismissed it.
  void OnSessionMessage(int message, qulonglong ticket);

 protected:
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildForm();
  void OnInitDialog();
  void CentreOnScreen();

  std::string m_strHostName;
  int m_nDisplay = 0;
  bool m_bXterm = false;
  std::unique_ptr<SessionThread> m_pSessionThread;
  QIcon m_hIcon;
  std::string m_strHostLabel;
  std::string m_strUserId;
  std::string m_strPassword;

  SessionTiming m_timing;
  std::shared_ptr<LauncherSession> m_session;  // kept to read its outcome
  std::shared_ptr<SessionBridge> m_bridge;
  QLineEdit* m_host = nullptr;
  QLineEdit* m_userId = nullptr;
  QLineEdit* m_password = nullptr;
  QPushButton* m_ok = nullptr;
  QMenu* m_systemMenu = nullptr;
  bool m_centred = false;
};

// The caption of every message box: the program file's name without
// directory and extension.
QString ApplicationCaption();

}  // namespace dovrel
