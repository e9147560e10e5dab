// Preloaded into the program by the end-to-end test's negative control: the
// program's own end of every IPv4 connection reads as 127.0.0.1, an address
// the remote host cannot reach the display at. The test must then find no
// terminal window, which proves that it can fail.

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

extern "C" int getsockname(int fd, sockaddr* address, socklen_t* length) {
  using Real = int (*)(int, sockaddr*, socklen_t*);
  static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "getsockname"));
  const int result = real(fd, address, length);
  if (result == 0 && address->sa_family == AF_INET) {
    reinterpret_cast<sockaddr_in*>(address)->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  return result;
}
