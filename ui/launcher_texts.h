#pragma once

#include <QtGlobal>

#include "dovrel_version.h"
#include "session/launch/launch_target.h"

// The form's own texts: its labels, buttons, status lines and questions.
// The words for how a launch ended are end_words/'s.
namespace dovrel::texts {

inline constexpr char kCaption[] = "Dovrel";
inline constexpr char kHostLabel[] = "Host";
inline constexpr char kUserLabel[] = "User";
inline constexpr char kPassLabel[] = "Pass";
inline constexpr char kOk[] = "OK";
inline constexpr char kVersionLabel[] = "Dovrel Version " DOVREL_VERSION " (" DOVREL_VERSION_YEAR ")";
inline constexpr char kAboutItem[] = "バージョン情報 dovrel(&A)...";

inline constexpr char kNoUserIdPassword[] = "No UserID/Password";
inline constexpr char kTooLong[] = "Please enter no more than %1 characters.";
inline constexpr char kCannotConnect[] = "Cannot Connect";

// The texts above keep their words in every language. Those below are the
// program's own additions, shown in the user's language (translations/):
// each is read through QCoreApplication::translate(kContext, text).
inline constexpr char kContext[] = "CLauncherDlg";
inline constexpr const char* kLoginIncorrect = QT_TRANSLATE_NOOP("CLauncherDlg", "Login incorrect");

// The status line while the worker runs.
inline constexpr const char* kConnecting = QT_TRANSLATE_NOOP("CLauncherDlg", "Connecting…");
inline constexpr const char* kLoggingIn = QT_TRANSLATE_NOOP("CLauncherDlg", "Logging in…");
inline constexpr const char* kStartingTerminal = QT_TRANSLATE_NOOP("CLauncherDlg", "Starting the terminal…");
inline constexpr const char* kConnectingSsh = QT_TRANSLATE_NOOP("CLauncherDlg", "Connecting with ssh…");
inline constexpr const char* kLoggingInSsh = QT_TRANSLATE_NOOP("CLauncherDlg", "Logging in with ssh…");
inline constexpr const char* kWaitingForWindow = QT_TRANSLATE_NOOP("CLauncherDlg", "Waiting for its window…");

// ssh's question about a host key it does not know: %1 the host, %2 ssh's
// own words (the key's type and fingerprint).
inline constexpr const char* kHostKeyQuestion =
    QT_TRANSLATE_NOOP("CLauncherDlg",
                      "ssh has no record of the key of %1, or it differs for its address. ssh says:\n\n%2\n\n"
                      "Compare the fingerprint with the one the host's administrator gave you. Connect records "
                      "the key and logs in; Cancel logs in nowhere.");

// The host has no kterm: %1 the host. Over telnet the shell is still
// there; over ssh, the launch logs in once more.
inline constexpr const char* kStartXtermQuestion =
    QT_TRANSLATE_NOOP("CLauncherDlg",
                      "kterm was not found on %1. Start xterm there instead, on the same display?");
inline constexpr const char* kStartXtermButton = QT_TRANSLATE_NOOP("CLauncherDlg", "&Start xterm");
inline constexpr const char* kConnectButton = QT_TRANSLATE_NOOP("CLauncherDlg", "&Connect");

// User name and password: bytes in the locale's encoding.
inline constexpr int kFieldMaxBytes = static_cast<int>(kCredentialMaxBytes);

}  // namespace dovrel::texts
