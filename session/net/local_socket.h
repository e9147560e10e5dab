#pragma once

#include <string>

#include "net/unique_fd.h"

namespace dovrel {

// Connects to a local stream socket named `path`: the abstract socket of
// that name first (Linux; a server may offer only that one), then the file.
// The descriptor is non-blocking; closed when neither answers.
UniqueFd ConnectLocalSocket(const std::string& path);

// Whether a server listens at `path`, as a socket file or as the abstract
// socket of that name. Looks without connecting.
bool LocalSocketListens(const std::string& path);

// A listening socket in Linux's abstract namespace (no file), named `name`;
// closed on failure. Non-blocking.
UniqueFd ListenAbstract(const std::string& name);

// Connects to the abstract socket `name`; closed when none listens.
UniqueFd ConnectAbstract(const std::string& name);

}  // namespace dovrel
