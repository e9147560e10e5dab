#pragma once

#include <string>
#include <string_view>

namespace dovrel {

// What ssh asks through its askpass helper, and what the launch does about it.
enum class PromptKind {
  kPassword,        // the destination's password, by either method: the form's password
  kPassphrase,      // a key's passphrase: not the form's password; ssh then skips the key
  kHostKey,         // an unknown host key, or an address that differs: the user decides
  kPasswordChange,  // the host wants a new password
  kNotice,          // a notice, not a question (a FIDO key's touch)
  kOther,           // anything else: a one-time code, a hop's password, ...
};

// Who asks, as ssh presents it: its source is told before its words.
struct PromptSource {
  std::string_view hint;  // SSH_ASKPASS_PROMPT as ssh set it
  std::string_view user;  // the destination's user, as given with -l
  std::string_view host;  // the host as ssh names it in prompts: its HostKeyAlias, or its name after the configuration
  // ssh's log says it is checking the host's key and has not begun to log
  // in: the only time its host-key question can come.
  bool checkingHostKey = false;
};

// Reads one askpass request. Every keyboard-interactive prompt (the
// destination's, or a hop's) is marked "(user@host) " by ssh: such a prompt
// is never taken for a question of ssh's own, whatever its words.
PromptKind ClassifyPrompt(std::string_view prompt, const PromptSource& source);

}  // namespace dovrel
