// How long each exchange takes over a real pseudo-terminal, against a device
// in this process that answers after a chosen delay: the library in paced
// and in prompt mode, and a minimal hand-written host (write the request,
// block in read() until the reply is complete) as the baseline. Prints a
// table of medians and 99th percentiles with the ratios, the delivery of a
// 1000-results-per-second stream, and the CPU time of a 5 s wait.
//
//   focus_latency [--reps N] [--ack-delay MS] [--focus-ms MS] [--stream-s S]
#include <fcntl.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "focus.h"
#include "platform/serial_platform.h"
#include "pty_device.h"
#include "scripted_line.h"

namespace {

using focus::protocol::Bytes;
using focus::testing::device_frame;
using focus::testing::PtyDevice;
using Clock = std::chrono::steady_clock;

struct Settings {
  int reps = 40;
  int ack_delay_ms = 0;  // every reply but the completion comes this long after the request
  int focus_ms = 290;    // the completion of a single focus, after the request
  int stream_s = 10;     // length of the 1000-per-second stream
};

// What the device does; changed between phases, while it is idle.
struct DeviceBehaviour {
  std::atomic<int> ack_delay_ms{0};
  std::atomic<int> focus_ms{290};
  std::atomic<bool> focus_silent{false};
  std::atomic<int> stream_results{0};
};

Bytes result_frame(std::uint8_t command, std::uint8_t kind, int value) {
  return device_frame(command, {kind, 0x01, 0x00, static_cast<std::uint8_t>(value & 0xFF),
                                static_cast<std::uint8_t>(value >> 8)});
}

PtyDevice::Script device_script(DeviceBehaviour& behaviour) {
  return [&behaviour](const focus::protocol::Frame& request) {
    const int delay = behaviour.ack_delay_ms;
    const Bytes acknowledgement = device_frame(request.command, {0x01, 0x01, 0x00});
    PtyDevice::Replies replies;
    switch (request.command) {
      case 0xA1:  // single focus: acknowledged, completed focus_ms after the request
        replies.push_back({delay, acknowledgement});
        if (!behaviour.focus_silent) {
          replies.push_back(
              {std::max(0, behaviour.focus_ms - delay), device_frame(0xA1, {0x02, 0x01, 0x00})});
        }
        break;
      case 0xA9:  // single range: the result with the acknowledgement
        replies.push_back({delay, focus::testing::concat({acknowledgement, result_frame(0xA9, 0x03, 300)})});
        break;
      case 0xAA:  // continuous range: one result each millisecond
        replies.push_back({delay, acknowledgement});
        for (int i = 0; i < behaviour.stream_results; ++i)
          replies.push_back({1, result_frame(0xAA, 0x03, i)});
        break;
      case 0xF5:  // system information with the acknowledgement
        replies.push_back(
            {delay, focus::testing::concat({acknowledgement, device_frame(0xF5, Bytes(15, 0x11))})});
        break;
      default: replies.push_back({delay, acknowledgement}); break;
    }
    return replies;
  };
}

// ---- The hand-written host -------------------------------------------------

// Opens the line raw and blocking: read() returns as soon as a byte is there.
class HandWrittenHost {
 public:
  explicit HandWrittenHost(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0) return;
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd_, TCSANOW, &tio);
  }
  ~HandWrittenHost() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  // Writes the request, then reads until a device frame passes `done`.
  bool exchange(const Bytes& request, const std::function<bool(const focus::protocol::Frame&)>& done) {
    ::tcflush(fd_, TCIFLUSH);
    held_.clear();
    if (::write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return false;
    return read_until(done);
  }

  // Reads until a device frame passes `done`.
  bool read_until(const std::function<bool(const focus::protocol::Frame&)>& done) {
    for (;;) {
      while (held_.size() >= focus::protocol::kFrameOverhead) {
        if (held_[0] != focus::protocol::kHeader) {
          held_.erase(held_.begin());
          continue;
        }
        const std::size_t size = held_[2] + focus::protocol::kFrameOverhead;
        if (held_.size() < size) break;
        focus::protocol::Frame frame;
        const bool good = focus::protocol::decode_frame(held_.data(), size, frame);
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(good ? size : 1));
        if (good && frame.direction != focus::protocol::kHostDirection && done(frame)) return true;
      }
      std::uint8_t chunk[512];
      const ssize_t got = ::read(fd_, chunk, sizeof chunk);
      if (got <= 0) return false;
      held_.insert(held_.end(), chunk, chunk + got);
    }
  }

 private:
  int fd_ = -1;
  Bytes held_;
};

Bytes request(std::uint8_t command) {
  focus::protocol::Frame frame;
  frame.header = focus::protocol::kHeader;
  frame.direction = focus::protocol::kHostDirection;
  frame.length = 1;
  frame.command = command;
  frame.payload = {0x01};
  return focus::protocol::encode_frame(frame);
}

bool kind_is(const focus::protocol::Frame& frame, std::uint8_t kind) {
  return frame.payload.size() >= 3 && frame.payload[0] == kind;
}

// ---- Measuring -------------------------------------------------------------

struct Timings {
  std::vector<double> ms;
  int failures = 0;
  double median() const { return at(0.5); }
  double p99() const { return at(0.99); }
  double at(double q) const {
    if (ms.empty()) return 0;
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const auto index = static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
  }
};

template <class Exchange>
Timings measure(int reps, Exchange&& exchange) {
  Timings timings;
  for (int i = 0; i < reps; ++i) {
    const auto start = Clock::now();
    const bool ok = exchange();
    timings.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (!ok) ++timings.failures;
    // Let the device settle, so that no exchange starts in another's tail.
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  return timings;
}

struct ExchangeKind {
  const char* name;
  std::string device;  // when the device answers
  int grid_ms;         // when the paced library reads it, from its pacing
  std::function<bool(DeviceConnection*)> library;
  Bytes baseline_request;
  std::function<bool(HandWrittenHost&)> baseline;
};

struct Row {
  const ExchangeKind* kind;
  Timings baseline, paced, prompt;
};

// The paced library's first read after a reply that comes `delay_ms` after
// the request, on a grid of `sleep_ms`.
int grid(int delay_ms, int sleep_ms) {
  return (delay_ms / sleep_ms + 1) * sleep_ms;
}

double thread_cpu_ms() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

std::string machine() {
  std::string cpu = "unknown CPU";
  std::ifstream info("/proc/cpuinfo");
  for (std::string line; std::getline(info, line);) {
    if (line.rfind("model name", 0) == 0) {
      cpu = line.substr(line.find(':') + 2);
      break;
    }
  }
  utsname names{};
  ::uname(&names);
  std::string load = "?";
  std::ifstream("/proc/loadavg") >> load;
  return cpu + ", " + std::to_string(std::thread::hardware_concurrency()) + " CPUs, " + names.sysname + " " +
         names.release + ", load average " + load;
}

DeviceConnection* open_library(const std::string& path, std::uint32_t mode) {
  DeviceConnection* dev = focus_init(path.c_str());
  if (dev != nullptr) focus_set_wait_mode(dev, mode);
  return dev;
}

int parse_args(int argc, char** argv, Settings& settings) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return 2;
    const int value = std::atoi(argv[++i]);
    if (arg == "--reps" && value > 0) {
      settings.reps = value;
    } else if (arg == "--ack-delay" && value >= 0) {
      settings.ack_delay_ms = value;
    } else if (arg == "--focus-ms" && value > 0) {
      settings.focus_ms = value;
    } else if (arg == "--stream-s" && value > 0) {
      settings.stream_s = value;
    } else {
      return 2;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (parse_args(argc, argv, settings) != 0) {
    std::fprintf(stderr, "usage: focus_latency [--reps N] [--ack-delay MS] [--focus-ms MS] [--stream-s S]\n");
    return 2;
  }
  DeviceBehaviour behaviour;
  behaviour.ack_delay_ms = settings.ack_delay_ms;
  behaviour.focus_ms = settings.focus_ms;
  PtyDevice device;
  device.serve(device_script(behaviour));
  const std::string& path = device.path();
  const int delay = settings.ack_delay_ms;
  const std::string after = delay == 0 ? "at once" : std::to_string(delay) + " ms";

  const std::vector<ExchangeKind> kinds = {
      {"simple command (laser_off)", "ack " + after, grid(delay, 50),
       [](DeviceConnection* dev) { return focus_laser_off(dev) == FOCUS_OK; }, request(0xA7),
       [](HandWrittenHost& host) {
         return host.exchange(request(0xA7), [](const auto& f) { return kind_is(f, 0x01); });
       }},
      {"single focus", "completion at " + std::to_string(settings.focus_ms) + " ms",
       grid(settings.focus_ms, 20), [](DeviceConnection* dev) { return focus_single_focus(dev) == FOCUS_OK; },
       request(0xA1),
       [](HandWrittenHost& host) {
         return host.exchange(request(0xA1), [](const auto& f) { return kind_is(f, 0x02); });
       }},
      {"sys info", "reply " + after, grid(delay, 100),
       [](DeviceConnection* dev) {
         SysInfo info{};
         return focus_read_sys_info(dev, &info) == FOCUS_OK;
       },
       request(0xF5),
       [](HandWrittenHost& host) {
         return host.exchange(request(0xF5), [](const auto& f) { return f.payload.size() >= 15; });
       }},
      {"single range + query", "ack and result " + after, grid(delay, 50),
       [](DeviceConnection* dev) {
         QueryResult result{};
         return focus_single_range(dev) == FOCUS_OK && focus_query_result(dev, &result) == FOCUS_OK &&
                result.kind == 3;
       },
       request(0xA9),
       [](HandWrittenHost& host) {
         return host.exchange(request(0xA9), [](const auto& f) { return kind_is(f, 0x03); });
       }},
  };

  std::printf("focus_latency: %d exchanges of each kind over %s\nmachine: %s\n\n", settings.reps,
              path.c_str(), machine().c_str());
  std::fflush(stdout);

  // What one paced sleep of 20 ms takes here beyond its 20 ms: the paced
  // waits add it once per sleep.
  const auto sleeps_start = Clock::now();
  for (int i = 0; i < 25; ++i) focus::platform::system_platform().sleep_ms(20);
  const double oversleep_ms =
      (std::chrono::duration<double, std::milli>(Clock::now() - sleeps_start).count() - 25 * 20) / 25;

  std::vector<Row> rows;
  for (const ExchangeKind& kind : kinds) {
    Row row{&kind, {}, {}, {}};
    {
      HandWrittenHost host(path);
      if (!host.ok()) {
        std::fprintf(stderr, "focus_latency: cannot open %s\n", path.c_str());
        return 1;
      }
      row.baseline = measure(settings.reps, [&] { return kind.baseline(host); });
    }
    for (const std::uint32_t mode : {FOCUS_WAIT_PACED, FOCUS_WAIT_PROMPT}) {
      DeviceConnection* dev = open_library(path, mode);
      if (dev == nullptr) {
        std::fprintf(stderr, "focus_latency: focus_init(%s) failed\n", path.c_str());
        return 1;
      }
      (mode == FOCUS_WAIT_PACED ? row.paced : row.prompt) =
          measure(settings.reps, [&] { return kind.library(dev); });
      focus_close(dev);
    }
    std::fprintf(stderr, "  measured: %s\n", kind.name);
    rows.push_back(row);
  }

  // A stream of 1000 results a second, taken with focus_query_result in a
  // loop (the hand-written host reads frames as they come).
  const int stream_results = settings.stream_s * 1000;
  behaviour.stream_results = stream_results;
  struct StreamRun {
    int taken = 0;
    bool in_order = true;
    double seconds = 0;
  };
  const auto run_stream = [&](const std::function<bool(int&)>& take_one, const std::function<bool()>& start) {
    StreamRun run;
    const auto begin = Clock::now();
    const auto give_up = begin + std::chrono::seconds(settings.stream_s) + std::chrono::milliseconds(1500);
    if (!start()) return run;
    while (run.taken < stream_results && Clock::now() < give_up) {
      int value = -1;
      if (!take_one(value)) continue;
      if (value != (run.taken & 0xFFFF)) run.in_order = false;
      ++run.taken;
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    // Let the device finish its stream before the next phase.
    std::this_thread::sleep_until(begin + std::chrono::seconds(settings.stream_s) +
                                  std::chrono::milliseconds(200));
    return run;
  };
  StreamRun stream_runs[3];
  {
    HandWrittenHost host(path);
    stream_runs[0] = run_stream(
        [&](int& value) {
          return host.read_until([&](const auto& f) {
            if (!kind_is(f, 0x03) || f.payload.size() < 5) return false;
            value = f.payload[3] | (f.payload[4] << 8);
            return true;
          });
        },
        [&] { return host.exchange(request(0xAA), [](const auto& f) { return kind_is(f, 0x01); }); });
  }
  for (const std::uint32_t mode : {FOCUS_WAIT_PACED, FOCUS_WAIT_PROMPT}) {
    DeviceConnection* dev = open_library(path, mode);
    if (dev == nullptr) return 1;
    stream_runs[mode == FOCUS_WAIT_PACED ? 1 : 2] = run_stream(
        [&](int& value) {
          QueryResult result{};
          if (focus_query_result(dev, &result) != FOCUS_OK || result.kind != 3) return false;
          value = result.value;
          return true;
        },
        [&] { return focus_continuous_range(dev) == FOCUS_OK; });
    focus_laser_off(dev);  // any command ends the stream
    focus_close(dev);
  }
  behaviour.stream_results = 0;
  std::fprintf(stderr, "  measured: stream\n");

  // The CPU time of the calling thread during a 5 s single-focus wait that
  // no completion ends.
  behaviour.focus_silent = true;
  double cpu_ms[2] = {0, 0};
  for (const std::uint32_t mode : {FOCUS_WAIT_PACED, FOCUS_WAIT_PROMPT}) {
    DeviceConnection* dev = open_library(path, mode);
    if (dev == nullptr) return 1;
    const double before = thread_cpu_ms();
    const std::int32_t status = focus_single_focus(dev);
    cpu_ms[mode] = thread_cpu_ms() - before;
    if (status != FOCUS_ERR_TIMEOUT)
      std::fprintf(stderr, "focus_latency: the silent focus gave %d\n", status);
    focus_close(dev);
  }
  std::fprintf(stderr, "  measured: CPU\n\n");

  std::printf(
      "| exchange | device | hand-written host median / p99 | paced median / p99 | paced grid | paced "
      "overhead | prompt median / p99 | prompt / hand-written | paced / prompt |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  int failures = 0;
  for (const Row& row : rows) {
    failures += row.baseline.failures + row.paced.failures + row.prompt.failures;
    std::printf(
        "| %s | %s | %.2f / %.2f ms | %.2f / %.2f ms | %d ms | %+.2f ms | %.2f / %.2f ms | %.2f x | %.0f x "
        "|\n",
        row.kind->name, row.kind->device.c_str(), row.baseline.median(), row.baseline.p99(),
        row.paced.median(), row.paced.p99(), row.kind->grid_ms, row.paced.median() - row.kind->grid_ms,
        row.prompt.median(), row.prompt.p99(), row.prompt.median() / row.baseline.median(),
        row.paced.median() / row.prompt.median());
  }
  std::printf("\n| stream of %d results at 1000/s | taken | in order | seconds |\n|---|---|---|---|\n",
              stream_results);
  const char* stream_names[3] = {"hand-written host", "paced, focus_query_result in a loop",
                                 "prompt, focus_query_result in a loop"};
  for (int i = 0; i < 3; ++i) {
    std::printf("| %s | %d (%.1f %%) | %s | %.2f |\n", stream_names[i], stream_runs[i].taken,
                100.0 * stream_runs[i].taken / stream_results, stream_runs[i].in_order ? "yes" : "NO",
                stream_runs[i].seconds);
  }
  std::printf("\n| CPU of the calling thread in a 5 s single-focus wait | paced | prompt |\n|---|---|---|\n");
  std::printf("| ms | %.1f | %.1f |\n", cpu_ms[FOCUS_WAIT_PACED], cpu_ms[FOCUS_WAIT_PROMPT]);
  std::printf(
      "\nA paced sleep of 20 ms took %.2f ms longer on average here (the scheduler's wake-up); a paced "
      "wait adds that once per sleep.\n",
      oversleep_ms);
  if (failures != 0) std::printf("\n%d exchanges failed\n", failures);
  return failures == 0 ? 0 : 1;
}
