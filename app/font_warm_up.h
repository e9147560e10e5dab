#pragma once

#include <thread>

namespace dovrel {

// Loads the font configuration on a thread of its own while the toolkit
// connects to the display. The form's first text would otherwise wait for
// it: reading the configuration and the font caches is the largest part of
// the start-up's own work. If no thread can be started, nothing is loaded
// ahead and the toolkit loads it when it first needs it, as it would anyway.
class FontConfigWarmUp {
 public:
  FontConfigWarmUp();
  ~FontConfigWarmUp() { Wait(); }
  FontConfigWarmUp(const FontConfigWarmUp&) = delete;
  FontConfigWarmUp& operator=(const FontConfigWarmUp&) = delete;

  // Returns once the configuration is loaded (at once if it was not started).
  void Wait();

 private:
  std::thread m_thread;
};

}  // namespace dovrel
