#pragma once

#include <functional>
#include <optional>

#include "session/launch/answer_slot.h"
#include "session/launch/way_in.h"

namespace dovrel {

// Puts `question` to the user and waits for the answer, the launch's own
// limits paused meanwhile. `meanwhile` is called over and over while the
// question is up, each call waiting a slice of the watch (for the host's
// bytes, say); false from it means the launch cannot go on (the host has
// gone), and ends the wait. Nothing when the launch was aborted or cannot
// go on; the form's box then closes with the launch's end.
std::optional<bool> AskTheUser(LaunchContext& launch, const UserQuestion& question,
                               const std::function<bool()>& meanwhile = {});

}  // namespace dovrel
