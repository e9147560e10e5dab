#pragma once

#include <string>

namespace dovrel {

// Whether the user-interface toolkit will find a display. Qt aborts the
// process when it cannot open one, so this is asked before it starts.
// Fills `problem` with a one-line reason when the answer is no.
bool DisplayIsReachable(std::string& problem);

}  // namespace dovrel
