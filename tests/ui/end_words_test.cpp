// Every end of a launch has its words: the box it shows, one line for
// standard error, and a sentence in English and in Japanese that fills the
// same places.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>
#include <QTranslator>

#include <set>
#include <string>

#include "ui/end_words/end_words.h"

namespace dovrel {
namespace {

constexpr int kCauses = static_cast<int>(LaunchCause::kNoSecurity) + 1;

QSet<QString> Placeholders(const QString& text) {
  QSet<QString> found;
  for (const auto& match : QRegularExpression(QStringLiteral("%[1-9]")).globalMatch(text)) found << match.captured();
  return found;
}

SessionEnd EndOf(LaunchCause cause, bool overSsh) {
  SessionEnd end{{cause, "the host's words"}, {}, false};
  end.target.hostName = "host.example";
  end.target.display = 3;
  end.target.address = "192.0.2.7";
  end.target.overSsh = overSsh;
  return end;
}

TEST(EndWords, EveryCauseHasItsBoxOneLineAndItsWordsInBothLanguages) {
  QTranslator japanese;
  ASSERT_TRUE(japanese.load(QStringLiteral(":/i18n/dovrel_ja.qm")));
  const std::set<LaunchCause> started{LaunchCause::kSeen, LaunchCause::kAssumed};
  const std::set<LaunchCause> toldByTheLineAlone{LaunchCause::kUndecided, LaunchCause::kAborted,
                                                 LaunchCause::kHostStopped, LaunchCause::kSendFailed,
                                                 LaunchCause::kNameNotTaken};
  for (int value = 0; value < kCauses; ++value) {
    const auto cause = static_cast<LaunchCause>(value);
    bool ownWords = false;
    for (const bool overSsh : {false, true}) {
      const SessionEnd end = EndOf(cause, overSsh);
      const std::string row = "cause " + std::to_string(value) + (overSsh ? " over ssh" : " over telnet");
      const auto box = BoxOf(end);
      const auto line = FailureLine(end);
      if (started.count(cause) != 0 || cause == LaunchCause::kUndecided || cause == LaunchCause::kAborted) {
        EXPECT_FALSE(line) << row;
      } else {
        ASSERT_TRUE(line) << row;
        EXPECT_FALSE(line->empty()) << row;
        EXPECT_EQ(line->find('\n'), std::string::npos) << row << ": " << *line;
      }
      if (started.count(cause) != 0 || toldByTheLineAlone.count(cause) != 0) {
        EXPECT_FALSE(box) << row;
        continue;
      }
      ASSERT_TRUE(box) << row;
      if (cause == LaunchCause::kCannotConnect || cause == LaunchCause::kLoginIncorrect) {
        EXPECT_EQ(*box, cause == LaunchCause::kCannotConnect ? EndBox::kCannotConnect : EndBox::kLoginIncorrect);
        continue;
      }
      EXPECT_EQ(*box, EndBox::kLaunchFailed) << row;
      // Every source looked up has a Japanese text with the same places.
      int lookedUp = 0;
      const std::string english = DescribeLaunchProblem(end);
      const std::string translated = DescribeLaunchProblem(end, [&](const char* context, const char* source) {
        ++lookedUp;
        const QString ja = japanese.translate(context, source);
        EXPECT_FALSE(ja.isEmpty()) << row << ": no Japanese for \"" << source << "\"";
        EXPECT_EQ(Placeholders(ja), Placeholders(QString::fromUtf8(source))) << row << ": " << source;
        return ja.toStdString();
      });
      EXPECT_GT(lookedUp, 0) << row;
      EXPECT_NE(translated, english) << row;
      EXPECT_EQ(*line, english) << row;
      ownWords = ownWords || english.find("The terminal did not start") == std::string::npos;
    }
    // Over one way at least, the cause has words of its own rather than the
    // sentence for what that way cannot find.
    if (started.count(cause) == 0 && toldByTheLineAlone.count(cause) == 0 && cause != LaunchCause::kCannotConnect &&
        cause != LaunchCause::kLoginIncorrect) {
      EXPECT_TRUE(ownWords) << "cause " << value;
    }
  }
}

TEST(EndWords, TheStepAndTheUsersOwnEndReadAsTheyDid) {
  SessionEnd stopped{{LaunchCause::kHostStopped, "the host closed the connection", Step::kPasswordPrompt}, {}, false};
  EXPECT_EQ(FailureLine(stopped), "stopped waiting for the password prompt: the host closed the connection");
  SessionEnd declined{{LaunchCause::kHostKeyUnknown}, {}, true};
  declined.target.hostName = "host.example";
  EXPECT_FALSE(BoxOf(declined));
  EXPECT_EQ(FailureLine(declined), "the host key of host.example was not accepted; nothing was sent there");
  SessionEnd refused{{LaunchCause::kLoginIncorrect, " refused the user name or password"}, {}, false};
  refused.target.hostName = "host.example";
  EXPECT_EQ(FailureLine(refused), "Login incorrect: host.example refused the user name or password");
}

}  // namespace
}  // namespace dovrel
