#pragma once

#include <memory>

#include "session/launch/way_in.h"

namespace dovrel {

// The system's OpenSSH client, which logs in and forwards X itself.
std::unique_ptr<WayIn> SshWayIn(LaunchContext& launch);

}  // namespace dovrel
