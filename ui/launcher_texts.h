#pragma once

#include <QtGlobal>

#include "dovrel_version.h"

// Every text the form shows, in one place.
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
inline constexpr const char* kWaitingForWindow = QT_TRANSLATE_NOOP("CLauncherDlg", "Waiting for its window…");

// User name and password: bytes in the locale's encoding.
inline constexpr int kFieldMaxBytes = 20;

}  // namespace dovrel::texts
