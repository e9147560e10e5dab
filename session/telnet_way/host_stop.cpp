#include "session/telnet_way/host_stop.h"

#include "common/net/connector.h"
#include "common/net/error_text.h"

namespace dovrel {

std::string WhyTheHostStopped(int sendError, Step step, IoStatus status, const Limits& limits) {
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
  return why;
}

std::string CouldNotSend(int sendError) { return "could not send: " + ErrorText(sendError); }

}  // namespace dovrel
