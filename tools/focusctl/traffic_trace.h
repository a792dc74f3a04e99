// What went over the line during focusctl's calls, seen through the
// library's trace: printed as it happens with --trace, counted per call for
// the diagnosis of a timeout, and the time each result arrived for monitor.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

#include "focus.h"
#include "protocol/frame.h"

namespace focus::ctl {

// The device's bytes that came back during one call.
struct LineCounts {
  std::uint64_t bytes = 0;
  std::uint64_t frames = 0;   // complete frames, CRC good
  std::uint64_t bad_crc = 0;  // complete frames whose CRC failed
  std::uint64_t stray = 0;    // bytes that began no frame, or a frame cut short
  std::uint64_t echoed = 0;   // good frames in the host's direction: our own requests
};

class TrafficTrace {
 public:
  using Clock = std::chrono::steady_clock;

  // `print` to `out` (stderr) as it happens, or only count.
  TrafficTrace(bool print, std::FILE* out);
  TrafficTrace(const TrafficTrace&) = delete;
  TrafficTrace& operator=(const TrafficTrace&) = delete;

  // Sets this trace on the connection (and clears it with detach).
  void attach(DeviceConnection* dev);
  void detach(DeviceConnection* dev);

  // Starts the counts of a new call; the counts of the last call so far.
  void begin_call();
  LineCounts call_counts();
  // Bad frames (bad CRC) seen since the trace was attached.
  std::uint64_t bad_frames_seen() const { return bad_frames_total_; }

  // When each focus or range result (kind 2 or 3) was read, in order: the
  // library hands results back in the order they came, so the n-th result
  // it returns arrived at the n-th time here.
  bool next_result_time(Clock::time_point& at);
  // How many more results came with the same read as the one just taken.
  std::size_t results_left_from(Clock::time_point at) const;
  Clock::time_point started() const { return started_; }

  // The library's callback.
  static void FOCUS_CALL on_event(void* user, std::uint32_t event, const std::uint8_t* bytes,
                                  std::uint32_t count, std::uint64_t tick_ms);

 private:
  void event(std::uint32_t event, const std::uint8_t* bytes, std::uint32_t count);
  // Takes the complete pieces of what has been read; with `all`, also an
  // unfinished frame, as stray bytes.
  void take_pieces(bool all);
  void print_line(const char* direction, const std::string& hex, const std::string& meaning);

  bool print_;
  std::FILE* out_;
  Clock::time_point started_ = Clock::now();
  Clock::time_point now_ = started_;
  protocol::Bytes pending_;  // read, not yet a whole piece
  LineCounts counts_;
  std::uint64_t bad_frames_total_ = 0;
  std::deque<Clock::time_point> result_times_;
};

// "no byte came back", or "N bytes came back: F frames, B with a bad CRC,
// S stray bytes", then the likely causes for that case, most likely first.
std::string diagnose_timeout(const LineCounts& counts);

}  // namespace focus::ctl
