// Credentials: copies are emptied when wiped or moved, and the process keeps
// its memory from dumps and debuggers.

#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <string>

#include "secret_bytes.h"

namespace dovrel {
namespace {

TEST(SecretBytes, TakingAStringLeavesItEmpty) {
  std::string typed = "correct horse battery staple, long enough for the heap";
  const SecretBytes secret = SecretBytes::TakeFrom(typed);
  EXPECT_TRUE(typed.empty());
  EXPECT_EQ(std::string(secret.Bytes().begin(), secret.Bytes().end()),
            "correct horse battery staple, long enough for the heap");
}

TEST(SecretBytes, MovingLeavesTheSourceEmptyAndWipingEmptiesIt) {
  std::string typed = "pw";
  SecretBytes first = SecretBytes::TakeFrom(typed);
  SecretBytes second = std::move(first);
  EXPECT_TRUE(first.Empty());  // NOLINT(bugprone-use-after-move): the point of the test
  EXPECT_EQ(second.Size(), 2U);
  second.Wipe();
  EXPECT_TRUE(second.Empty());
}

TEST(SecretBytes, TheProcessBecomesUndumpable) {
  ASSERT_TRUE(ProtectSecretsFromInspection());
  EXPECT_EQ(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
}

}  // namespace
}  // namespace dovrel
