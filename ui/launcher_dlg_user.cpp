// The form's user name where the program knows it: from user@host, or over
// ssh from ssh's own configuration, read while the form is up.

#include "ui/launcher_dlg.h"

#include <QLineEdit>

#include <string>

#include "ui/locale_text.h"
#include "ui/ssh_config_reader.h"
#include "ui/worker_controller.h"

namespace dovrel {

void CLauncherDlg::SetUserName(const std::string& userName) {
  std::string copy = userName;
  m_strUserId = SecretString::TakeFrom(copy);
  m_userId->setText(FromLocaleBytes(m_strUserId.View()));
  m_password->setFocus();
  ReadSshConfigAhead(userName);
}

void CLauncherDlg::ReadSshConfigAhead(const std::string& userName) {
  if (!m_bSsh) return;
  // A later call (the command line's user) replaces the earlier reading.
  delete m_configReader;
  m_configReader = new SshConfigReader(this);
  connect(m_configReader, &SshConfigReader::read, this, &CLauncherDlg::OnSshConfigRead);
  m_configReader->Start(m_worker->Setup(), m_strHostName, m_nDisplay, userName);
}

void CLauncherDlg::OnSshConfigRead(const std::shared_ptr<const SshConfigAhead>& config) {
  m_sshConfig = config;
  if (config->user.empty() || m_worker->Started()) return;
  if (!m_userId->text().isEmpty() || m_userId->isModified()) return;
  m_userId->setText(FromLocaleBytes(config->user));
  // The password is what is left to type, unless the user is already
  // elsewhere: the focus never jumps away from typing. The form's focus
  // widget, not hasFocus(): the answer may come before the window is active.
  if (focusWidget() == m_userId) m_password->setFocus();
}

}  // namespace dovrel
