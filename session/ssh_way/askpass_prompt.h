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

// Reads one askpass request. `hint` is SSH_ASKPASS_PROMPT as ssh set it;
// `user` and `host` are the destination's as ssh names it in its prompts
// (the user given with -l, the host name after the configuration).
PromptKind ClassifyPrompt(std::string_view prompt, std::string_view hint, std::string_view user,
                          std::string_view host);

// The prompt as one line for a report: line ends shown as " / ", control
// bytes dropped, at most 300 bytes.
std::string PromptLine(std::string_view prompt);

}  // namespace dovrel
