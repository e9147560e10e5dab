#include "session/telnet_way/host_stop.h"

#include <string>
#include <utility>

#include "common/net/connector.h"
#include "common/net/error_text.h"

namespace dovrel {

namespace {

std::string CouldNotSend(int sendError) { return "could not send: " + ErrorText(sendError); }

Step StepOf(LoginStop::Stage stage) {
  switch (stage) {
    case LoginStop::Stage::kFirstText: return Step::kFirstText;
    case LoginStop::Stage::kLoginPrompt: return Step::kLoginPrompt;
    case LoginStop::Stage::kPasswordPrompt: return Step::kPasswordPrompt;
    case LoginStop::Stage::kUserNameAgain: return Step::kUserNameAgain;
    case LoginStop::Stage::kShell: return Step::kShell;
  }
  return Step::kFirstText;
}

}  // namespace

LaunchStop HostStopped(Step step, IoStatus status, int sendError, HostWords lastLine, const Limits& limits) {
  std::string why;
  switch (status) {
    case IoStatus::kTimedOut:
      why = "the host sent nothing for " + Seconds(limits.readLimit);
      break;
    case IoStatus::kClosed:
      why = "the host closed the connection";
      break;
    case IoStatus::kOverLimit:
      why = "the host did not get to the shell's prompt within " + Seconds(limits.loginLimit) +
            " of the connection";
      break;
    case IoStatus::kUnacknowledged:
      why = "the host acknowledged nothing typed for " +
            Seconds(step == Step::kExit ? limits.readLimit : limits.ackLimit) + ": it is gone";
      break;
    case IoStatus::kOk:
    case IoStatus::kAborted:
    case IoStatus::kFailed:
      why = sendError != 0 ? CouldNotSend(sendError) : std::string("the connection failed");
      break;
  }
  return {LaunchCause::kHostStopped, std::move(why), step, std::move(lastLine)};
}

LaunchStop SendFailedAt(Step step, int sendError) { return {LaunchCause::kSendFailed, CouldNotSend(sendError), step}; }

LaunchStop StopOfLogin(const LoginStop& login, HostWords lastLine, int sendError, const Limits& limits) {
  const Step step = StepOf(login.stage);
  switch (login.kind) {
    case LoginStop::Kind::kLoginIncorrect:
      return {LaunchCause::kLoginIncorrect, " refused the user name or password"};
    case LoginStop::Kind::kNameNotTaken:
      return {LaunchCause::kNameNotTaken, std::to_string(login.tries) + " times", {}, std::move(lastLine)};
    case LoginStop::Kind::kSendFailed:
      return SendFailedAt(step, sendError);
    case LoginStop::Kind::kHostStopped:
      break;
  }
  return HostStopped(step, login.status, sendError, std::move(lastLine), limits);
}

}  // namespace dovrel
