#include "bench/soak/process_figures.h"

#include <sys/resource.h>

#include <fstream>
#include <string>

namespace veltrix::bench {

double rss_mb(pid_t pid) {
  std::ifstream status(pid == 0 ? std::string("/proc/self/status") : "/proc/" + std::to_string(pid) + "/status");
  std::string word;
  while (status >> word) {
    if (word == "VmRSS:") {
      double kb = -1;
      status >> kb;
      return kb / 1024.0;
    }
  }
  return -1;
}

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace veltrix::bench
