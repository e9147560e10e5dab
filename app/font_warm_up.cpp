#include "app/font_warm_up.h"

#include <fontconfig/fontconfig.h>

#include <system_error>

namespace dovrel {

FontConfigWarmUp::FontConfigWarmUp() {
  try {
    // FcInit loads the configuration once per process and keeps it; the
    // toolkit's own FcInit later finds it loaded. It is safe to call from
    // any thread, and the toolkit is not asked for text before Wait().
    m_thread = std::thread([] { FcInit(); });
  } catch (const std::system_error&) {
    // No thread to spare: the toolkit loads the configuration itself.
  }
}

void FontConfigWarmUp::Wait() {
  if (m_thread.joinable()) m_thread.join();
}

}  // namespace dovrel
