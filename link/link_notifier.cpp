#include "link/link_notifier.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace {

std::mutex notifier_lock;
LinkNotifier installed_notifier;

}  // namespace

void set_link_notifier(LinkNotifier notifier) {
  std::lock_guard lock(notifier_lock);
  installed_notifier = std::move(notifier);
}

void link_notify(const char* text, const char* caption) {
  LinkNotifier notifier;
  {
    std::lock_guard lock(notifier_lock);
    notifier = installed_notifier;
  }
  if (notifier) {
    notifier(text, caption);
  } else {
    std::fprintf(stderr, "%s: %s\n", caption, text);
  }
}
