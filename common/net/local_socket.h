#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "common/net/unique_fd.h"

namespace dovrel {

// Connects to a local stream socket named `path`: the abstract socket of
// that name first (Linux; a server may offer only that one), then the file.
// The descriptor is non-blocking; closed when neither answers.
UniqueFd ConnectLocalSocket(const std::string& path);

// The same, but only a server of root's or this user's: an abstract name
// can be taken by anyone, and what is sent on the connection may be a
// cookie. Closed when no such server answers.
UniqueFd ConnectTrustedLocalSocket(const std::string& path);

// A directory of this user's alone (mode 0700, checked, not a link) for
// the program's sockets: $XDG_RUNTIME_DIR/dovrel when that is this user's,
// otherwise /tmp/dovrel-<uid>. Made when missing; nothing when it exists but
// is anyone else's or open to others.
std::optional<std::string> OwnSocketDirectory();

// Listens on the socket file `path` (non-blocking). A file left by a server
// that has gone (nothing answers there) is replaced; closed when a server
// still answers or the file cannot be made.
UniqueFd ListenSocketFile(const std::string& path);

// Connects to the socket file `path` of a server of this user's own (not
// even root's): where a secret is handed over. Non-blocking; closed when no
// such server answers.
UniqueFd ConnectOwnSocketFile(const std::string& path);

// False when the abstract socket named `path` is held by anyone but root or
// this user: a client that tries it first (as libxcb does) would hand that
// holder its cookie.
bool AbstractNameTrusted(const std::string& path);

// Whether a server listens at `path`, as a socket file or as the abstract
// socket of that name. Looks without connecting.
bool LocalSocketListens(const std::string& path);

// A listening socket in Linux's abstract namespace (no file), named `name`;
// closed on failure. Non-blocking.
UniqueFd ListenAbstract(const std::string& name);

// Binds the abstract socket `name` without listening: while the socket
// lives, nobody else can take the name, and a client that tries it is
// refused and goes on to the socket file. Closed when the name is taken
// already (errno EADDRINUSE) or cannot be bound.
UniqueFd BindAbstract(const std::string& name);

// Connects to the abstract socket `name`; closed when none listens.
UniqueFd ConnectAbstract(const std::string& name);

// The user id of the process on the other end of a local socket (for a
// listener not yet accepted, the one that listens); nothing when the kernel
// cannot tell.
std::optional<uid_t> PeerUid(int socket);

// Whether `uid` may be trusted with this user's display: root, or this user.
bool IsTrustedOwner(uid_t uid);
// Whether `uid` is this user's own (not even root's): whom a secret is handed to.
bool IsThisUser(uid_t uid);

}  // namespace dovrel
