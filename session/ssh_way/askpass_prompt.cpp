#include "session/ssh_way/askpass_prompt.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "session/host_text/host_text.h"

namespace dovrel {

namespace {

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// A keyboard-interactive prompt, as the host words it: "Password: " in
// English and in the languages PAM is most often set up in.
bool AsksForPassword(std::string_view hostPrompt) {
  const std::string lower = Lower(hostPrompt);
  if (Contains(lower, "new") || Contains(lower, "old") || Contains(lower, "current") || Contains(lower, "retype")) {
    return false;
  }
  static constexpr std::array<std::string_view, 8> kWords = {
      "password", "passwort", "mot de passe", "contraseña", "senha", "пароль", "パスワード", "密码"};
  return std::any_of(kWords.begin(), kWords.end(), [&](std::string_view word) { return Contains(lower, word); });
}

bool AsksForNewPassword(std::string_view prompt) {
  const std::string lower = Lower(prompt);
  return Contains(lower, "password") &&
         (Contains(lower, "new") || Contains(lower, "old") || Contains(lower, "current") ||
          Contains(lower, "retype") || Contains(lower, "expired") || Contains(lower, "change"));
}

}  // namespace

PromptKind ClassifyPrompt(std::string_view prompt, const PromptSource& source) {
  if (source.hint == "none") return PromptKind::kNotice;
  const std::string who = std::string(source.user) + "@" + std::string(source.host);
  if (StartsWith(prompt, "(")) {
    // Keyboard-interactive: "(user@host) " and the host's own prompt. Only
    // the destination's password prompt gets the form's password.
    const std::string tagged = "(" + who + ") ";
    if (!StartsWith(prompt, tagged)) return PromptKind::kOther;
    const std::string_view own = prompt.substr(tagged.size());
    if (AsksForNewPassword(own)) return PromptKind::kPasswordChange;
    if (AsksForPassword(own)) return PromptKind::kPassword;
    return PromptKind::kOther;
  }
  if (StartsWith(prompt, "Enter passphrase for ") || StartsWith(prompt, "Enter PIN for ")) {
    return PromptKind::kPassphrase;
  }
  if (EndsWith(prompt, "(yes/no/[fingerprint])? ") || EndsWith(prompt, "(yes/no)? ")) {
    return source.checkingHostKey && Contains(prompt, "continue connecting") ? PromptKind::kHostKey
                                                                             : PromptKind::kOther;
  }
  // The password method: "user@host's password: "; its change request:
  // "Enter user@host's old password: " and the like.
  if (prompt == who + "'s password: ") return PromptKind::kPassword;
  if (AsksForNewPassword(prompt) && Contains(prompt, who)) return PromptKind::kPasswordChange;
  return PromptKind::kOther;
}

}  // namespace dovrel
