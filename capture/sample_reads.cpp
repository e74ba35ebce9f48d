#include "capture/sample_reads.h"

#include <optional>

namespace veltrix::capture {

namespace {

constexpr char kNoBlockReadNote[] =
    "The selected components cannot be read in one block on this sensor; the capture reads them one by one.";
constexpr char kNoFifoNote[] =
    "The sensor's FIFO cannot hold the selected components; the capture polls for each sample.";
constexpr char kFifoOverflowNote[] =
    "The sensor's FIFO overflowed; samples were lost. The report at the end counts them.";

}  // namespace

SampleReads::SampleReads(ikor& device, CaptureEvents& events, int rate_hz, bool timed, bool fast, int components)
    : device_(device), events_(events), rate_hz_(rate_hz), fifo_capture_(device), pacing_(rate_hz), notified_(device) {
  if (!fast) {
    return;
  }
  // Above the timed rates a read per sample cannot follow a board that
  // answers in a millisecond: the FIFO, where it takes the selection.
  fifo_ = !timed && fifo_capture_.carries(components);
  if (!timed && !fifo_) {
    events.note(kNoFifoNote);
  }
  blocks_ = !fifo_ && device.plan_sample_block(components).has_value();
  if (!fifo_ && !blocks_) {
    events.note(kNoBlockReadNote);
  }
}

long SampleReads::start(int components, double now_ms) {
  fifo_started_ms_ = now_ms;
  if (fifo_) {
    return fifo_capture_.start(components, rate_hz_);
  }
  if (blocks_) {
    notified_.start(rate_hz_);
  }
  return 0;
}

long SampleReads::poll(int components, bool& ready, bool& whole, SampleValues& values) {
  ready = false;
  whole = true;
  if (fifo_) {
    const long status = fifo_capture_.next(components, ready, values);  // it keeps its own pace
    // Once: the operator should hear of lost samples while the capture can
    // still be stopped and set up anew, not only at its end.
    if (!overflow_told_ && fifo_capture_.overflows() > 0) {
      overflow_told_ = true;
      events_.note(kFifoOverflowNote);
    }
    return status;
  }
  if (notified_.active()) {
    notified_.wait();
  } else {
    pacing_.wait_for_poll();
  }
  const auto began = PollPacing::Clock::now();
  // A selection changed mid-capture may not be readable in one block.
  const std::optional<veltrix::devices::SampleBlock> block =
      blocks_ ? device_.plan_sample_block(components) : std::nullopt;
  whole = block.has_value();
  if (whole) {
    if (const long status = device_.read_sample_block(*block, ready, values); status != 0) {
      return status;
    }
  } else {
    ready = device_.is_data_ready();
  }
  pacing_.polled(ready, began, PollPacing::Clock::now());
  return 0;
}

double SampleReads::sample_time_ms(double now_ms) const {
  if (!fifo_) {
    return now_ms;
  }
  return fifo_started_ms_ + 1000.0 * static_cast<double>(fifo_capture_.number()) / rate_hz_;
}

std::optional<long> SampleReads::sample_number() const {
  return fifo_ ? std::optional<long>(fifo_capture_.number()) : std::nullopt;
}

void SampleReads::rate_changed(int rate_hz) {
  pacing_ = PollPacing(rate_hz);
  notified_.rate_changed(rate_hz);
}

void SampleReads::stop() {
  notified_.stop();
  fifo_capture_.stop();
}

}  // namespace veltrix::capture
