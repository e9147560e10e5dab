#pragma once

#include <atomic>
#include <memory>
#include <string>

#include <unistd.h>

#include "session/watch/local_display.h"

namespace dovrel::test {

// A display whose answers the test sets: whether it takes TCP, whether its
// windows can be watched, and when the terminal shows up (ShowTerminal()).
class FakeDisplay final : public LocalDisplay {
 public:
  Reach CheckTcp(const std::string& /*address*/, int /*display*/, const AbortSignal& /*abort*/,
                 const Limits& /*limits*/) override {
    ++connections;
    return reach;
  }
  bool AnswersAsXServer(const std::string& /*address*/, int /*display*/, const AbortSignal& /*abort*/,
                        const Limits& /*limits*/) override {
    ++connections;
    return answersAsX;
  }
  std::unique_ptr<TerminalWatch> Watch(const std::string& /*address*/, int /*display*/, bool /*tcpTrusted*/,
                                       const Limits& /*limits*/, const AbortSignal& /*abort*/) override {
    return std::make_unique<Watcher>(*this);
  }
  std::unique_ptr<TerminalWatch> WatchWindows(int /*display*/, const Limits& /*limits*/,
                                              const AbortSignal& /*abort*/) override {
    return std::make_unique<Watcher>(*this);
  }
  bool LocalSocketTrusted(int /*display*/) override { return localSocket && localSocketTrusted; }
  std::optional<std::uint32_t> TcpListenerOwner(const std::string& /*address*/, int /*display*/) override {
    return listenerOwner;
  }
  bool HasLocalSocket(int /*display*/) override { return localSocket; }
  void ShowTerminal() { m_terminal = true; }

  Reach reach = Reach::kListening;
  bool seesWindows = true;
  bool localSocket = false;
  bool localSocketTrusted = true;
  std::optional<std::uint32_t> listenerOwner = ::geteuid();
  bool answersAsX = true;
  std::atomic<int> connections{0};  // made to the display's TCP port

 private:
  class Watcher final : public TerminalWatch {
   public:
    explicit Watcher(FakeDisplay& display) : m_display(display) {}
    bool Seen(std::chrono::steady_clock::time_point /*now*/) override { return m_display.m_terminal; }
    [[nodiscard]] bool SeesWindows() const override { return m_display.seesWindows; }

   private:
    FakeDisplay& m_display;
  };

  std::atomic<bool> m_terminal{false};
};

}  // namespace dovrel::test
