// Credentials: copies are emptied when wiped or moved, and the process keeps
// its memory from dumps and debuggers.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "common/secret/secret_bytes.h"
#include "common/secret/secret_guard.h"

namespace dovrel {
namespace {

// The bytes still held at `memory` (a buffer that is emptied, not freed).
std::string Left(const unsigned char* memory, std::size_t size) {
  const volatile unsigned char* bytes = memory;
  std::string left;
  for (std::size_t i = 0; i < size; ++i) left.push_back(static_cast<char>(bytes[i]));
  return left;
}

TEST(SecretBytes, TakingAStringOverwritesItsBuffer) {
  std::string typed = "correct horse battery staple, long enough for the heap";
  const auto* buffer = reinterpret_cast<const unsigned char*>(typed.data());
  const std::size_t size = typed.size();
  const SecretBytes secret = SecretBytes::TakeFrom(typed);
  EXPECT_TRUE(typed.empty());
  EXPECT_EQ(Left(buffer, size), std::string(size, '\0'));
  EXPECT_EQ(std::string(secret.Bytes().begin(), secret.Bytes().end()),
            "correct horse battery staple, long enough for the heap");
}

// A short string lives inside the object, so a move copies its bytes: the
// source must not keep them. A long one's buffer moves; wiping empties it.
TEST(SecretString, AMoveLeavesNoCopyInTheSourceAndAWipeOverwrites) {
  for (const std::string& text : {std::string("pw"), std::string(40, 'k')}) {
    std::string typed = text;
    SecretString first = SecretString::TakeFrom(typed);
    const auto* buffer = reinterpret_cast<const unsigned char*>(first.View().data());
    const std::size_t size = first.View().size();
    const bool inside = static_cast<const void*>(buffer) >= static_cast<const void*>(&first) &&
                        static_cast<const void*>(buffer) < static_cast<const void*>(&first + 1);
    SecretString second = std::move(first);
    EXPECT_EQ(second.View(), text);
    if (inside) {
      EXPECT_EQ(Left(buffer, size), std::string(size, '\0')) << "the source's own bytes";
    }
    const auto* held = reinterpret_cast<const unsigned char*>(second.View().data());
    second.Wipe();
    EXPECT_TRUE(second.Empty());
    if (!inside) {
      EXPECT_EQ(Left(held, size), std::string(size, '\0')) << "the moved buffer";
    }
  }
}

TEST(WipedOnExit, OverwritesTheWholeBufferItGuardsWhenItGoes) {
  std::vector<std::uint8_t> reply(24, 0x5a);
  {
    const WipedOnExit guard(std::span<std::uint8_t>(reply).subspan(4, 16));
  }
  EXPECT_EQ(std::count(reply.begin(), reply.end(), 0), 16);
  EXPECT_EQ(reply[3], 0x5a);
  EXPECT_EQ(reply[20], 0x5a) << "nothing past the guarded bytes";
}

TEST(SameBytesConstantTime, ComparesInFullWhateverDiffers) {
  const std::vector<std::uint8_t> cookie = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_TRUE(SameBytesConstantTime(cookie, cookie));
  for (const std::size_t at : {std::size_t{0}, std::size_t{15}}) {
    std::vector<std::uint8_t> other = cookie;
    other[at] ^= 0x01;
    EXPECT_FALSE(SameBytesConstantTime(cookie, other)) << "byte " << at;
  }
  const std::vector<std::uint8_t> prefix(cookie.begin(), cookie.end() - 1);
  EXPECT_FALSE(SameBytesConstantTime(cookie, prefix)) << "a prefix is not the cookie";
  EXPECT_FALSE(SameBytesConstantTime(cookie, {})) << "nor is nothing";
}

TEST(SecretBytes, NoOtherProcessOfTheUserCanReadTheProtectedMemory) {
  // In a child that runs as an ordinary account (root passes every check):
  // once protected, its memory file belongs to root, so a process of the
  // same account, a debugger among them, cannot open it.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    // A change of account leaves a process undumpable: start as a program does.
    ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
    const auto readable = [] { return ::open("/proc/self/mem", O_RDONLY) >= 0; };
    struct stat memory {};
    const bool before = readable();
    const bool protectedNow = ProtectSecretsFromInspection();
    const bool ownedByRoot = ::stat("/proc/self/mem", &memory) == 0 && memory.st_uid == 0;
    ::_exit(before && protectedNow && ownedByRoot ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace dovrel
