// How far the capture thread is raised above ordinary work: the real-time
// class where the process may use it or RealtimeKit grants it, else a better
// nice value; and the CPUs kept from deep idle while it runs. The capture
// report says which it got. (tests/realtime runs it as a normal user under a
// real RealtimeKit.)

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "capture/capture_control.h"
#include "capture/capture_report.h"
#include "common/thread_priority.h"
#include "tests/capture/capture_fixture.h"

namespace veltrix::capture::test {
namespace {

// What a thread of this process gets, asked on a thread of its own.
ThreadPriority priority_permitted() {
  ThreadPriority got = ThreadPriority::kUnchanged;
  std::thread([&got] { got = raise_thread_priority(5, -5); }).join();
  return got;
}

TEST(ThreadPriority, SaysWhatTheThreadGot) {
  std::thread([] {
    errno = 0;
    const int nice_before = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    const ThreadPriority got = raise_thread_priority(7, -3);
    int policy = -1;
    sched_param param{};
    ASSERT_EQ(pthread_getschedparam(pthread_self(), &policy, &param), 0);
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    switch (got) {
      case ThreadPriority::kRealTime:
        EXPECT_EQ(policy, SCHED_FIFO);
        EXPECT_EQ(param.sched_priority, 7);
        break;
      case ThreadPriority::kRealTimeThroughRealtimeKit: {
        // Its terms: children start ordinary, and the process may not run
        // real-time for ever without blocking.
        EXPECT_EQ(sched_getscheduler(0), SCHED_RR | SCHED_RESET_ON_FORK);
        EXPECT_EQ(param.sched_priority, 7);
        rlimit run{};
        ASSERT_EQ(getrlimit(RLIMIT_RTTIME, &run), 0);
        EXPECT_NE(run.rlim_max, RLIM_INFINITY);
        break;
      }
      case ThreadPriority::kRaisedNice:
        EXPECT_EQ(policy, SCHED_OTHER);
        EXPECT_EQ(nice, -3);
        break;
      case ThreadPriority::kUnchanged:
        EXPECT_EQ(policy, SCHED_OTHER);
        EXPECT_EQ(nice, nice_before);
        break;
    }
  }).join();
  EXPECT_STREQ(thread_priority_text(ThreadPriority::kRealTime), "real-time");
  EXPECT_STREQ(thread_priority_text(ThreadPriority::kRealTimeThroughRealtimeKit), "real-time through RealtimeKit");
  EXPECT_STREQ(thread_priority_text(ThreadPriority::kRaisedNice), "raised nice");
  EXPECT_STREQ(thread_priority_text(ThreadPriority::kUnchanged), "normal");
}

TEST_F(CaptureTest, TheReportSaysHowFarTheCaptureThreadWasRaised) {
  const std::string expected = thread_priority_text(priority_permitted());
  connect("kor42", "KOR 42", RATE_200HZ);
  select(COMPONENT_GYRO);
  CaptureRecorder record(3);
  ASSERT_TRUE(control::start(*device_, record.options()));
  control::wait();
  const auto report = record.report();
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(report->thread_priority, expected);
  EXPECT_NE(report_line(*report).find(", capture thread " + expected), std::string::npos) << report_line(*report);
  // A report nobody told of the thread says nothing of it.
  EXPECT_EQ(report_line(CaptureReport{}).find("capture thread"), std::string::npos);
  EXPECT_EQ(report_line(CaptureReport{}).find("deep idle"), std::string::npos);
}

// The wake-up latency, in microseconds, that the kernel now grants all
// requests; nullopt where this process may not read it.
std::optional<std::int32_t> cpu_wake_latency_us() {
  std::ifstream request("/dev/cpu_dma_latency", std::ios::binary);
  std::int32_t us = 0;
  if (!request.read(reinterpret_cast<char*>(&us), sizeof us)) {
    return std::nullopt;
  }
  return us;
}

// Whether this process holds a request open; other tests and processes may
// hold their own, so the value alone cannot tell that ours was withdrawn.
bool this_process_holds_a_request() {
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(fd.path(), error) == "/dev/cpu_dma_latency") {
      return true;
    }
  }
  return false;
}

TEST_F(CaptureTest, TheCpusAreKeptFromDeepIdleOnlyWhileACaptureRuns) {
  if (!cpu_wake_latency_us()) {
    GTEST_SKIP() << "this process may not use the CPUs' wake-up latency request";
  }
  connect("kor42", "KOR 42", RATE_200HZ);
  select(COMPONENT_GYRO);
  CaptureRecorder record(3);
  std::optional<std::int32_t> during;
  bool held = false;
  record.after_sample = [&](int sample_count) {
    if (sample_count == 1) {
      during = cpu_wake_latency_us();
      held = this_process_holds_a_request();
    }
  };
  ASSERT_FALSE(this_process_holds_a_request());
  ASSERT_TRUE(control::start(*device_, record.options()));
  control::wait();
  EXPECT_TRUE(held);
  EXPECT_EQ(during, 0);
  EXPECT_FALSE(this_process_holds_a_request());
  const auto report = record.report();
  ASSERT_TRUE(report.has_value());
  EXPECT_NE(report_line(*report).find(", CPUs kept from deep idle"), std::string::npos) << report_line(*report);
}

}  // namespace
}  // namespace veltrix::capture::test
