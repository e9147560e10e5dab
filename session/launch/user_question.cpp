#include "session/launch/user_question.h"

#include <poll.h>

#include <array>
#include <memory>

namespace dovrel {

std::optional<bool> AskTheUser(LaunchContext& launch, const UserQuestion& question,
                               const std::function<bool()>& meanwhile) {
  const auto slot = std::make_shared<AnswerSlot>();
  launch.observer.Ask(question, slot);
  for (;;) {
    if (const auto answer = slot->Answer()) return answer;
    if (launch.abort.IsTriggered()) return std::nullopt;
    if (meanwhile) {
      if (!meanwhile()) return std::nullopt;
      continue;
    }
    std::array<pollfd, 2> fds{{{slot->PollFd(), POLLIN, 0}, {launch.abort.PollFd(), POLLIN, 0}}};
    launch.clock.Poll(fds, launch.setup.limits.watchSlice);
  }
}

}  // namespace dovrel
