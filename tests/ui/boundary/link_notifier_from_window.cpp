// Installs the window's message box straight on the link, as ui/ could
// through the project root. Only the device layer may: must not compile.
#include "link/link_notifier.h"

void quiet_link() {
  set_link_notifier([](const char*, const char*) {});
}
