#pragma once

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
inline constexpr char kLoginIncorrect[] = "Login incorrect";

// The status line while the worker runs.
inline constexpr char kConnecting[] = "Connecting…";
inline constexpr char kLoggingIn[] = "Logging in…";
inline constexpr char kStartingTerminal[] = "Starting the terminal…";
inline constexpr char kWaitingForWindow[] = "Waiting for its window…";

// User name and password: bytes in the locale's encoding.
inline constexpr int kFieldMaxBytes = 20;

}  // namespace dovrel::texts
