// Credentials: copies are emptied when wiped or moved, and the process keeps
// its memory from dumps and debuggers.

#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <string>

#include "session/login/secret_bytes.h"
#include "session/net/launch_cookie.h"

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

TEST(SecretBytes, MovingKeepsOneCopyAndWipingOverwritesIt) {
  std::string typed = "pw";
  SecretBytes first = SecretBytes::TakeFrom(typed);
  const unsigned char* buffer = first.Bytes().data();
  SecretBytes second = std::move(first);
  EXPECT_TRUE(first.Empty());  // NOLINT(bugprone-use-after-move): the point of the test
  ASSERT_EQ(second.Bytes().data(), buffer) << "moved, not copied";
  second.Wipe();
  EXPECT_TRUE(second.Empty());
  EXPECT_EQ(Left(buffer, 2), std::string(2, '\0'));
}

TEST(SecretBytes, TheProcessBecomesUndumpable) {
  ASSERT_TRUE(ProtectSecretsFromInspection());
  EXPECT_EQ(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
}

}  // namespace
}  // namespace dovrel
