#include "aio_link.h"

tAIOVars aioVars;
std::mutex mutex;
std::thread g_hAIOThread;

namespace {

// The link normally stays open until the process ends. Closing it on the way
// out joins the reader first; a std::thread still joinable when it is
// destroyed would end the program with std::terminate instead. Defined after
// the globals above, so it is destroyed before them.
struct CloseLinkAtExit {
  ~CloseLinkAtExit() { AIOClose(); }
} close_link_at_exit;

}  // namespace
