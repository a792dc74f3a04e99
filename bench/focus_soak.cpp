// focus-soak: drives simulators through every kind of exchange for as many
// calls as asked and accounts for every one: calls made, failures by
// status, the results the simulators sent against those the library
// handed over, and the process's resident memory before and after.
//
//   focus-soak --sim-options "--noise 0.3 --split --echo" --calls 100000 --connections 8
//
// Exit 0 when no call failed and no result was lost, 1 otherwise, 2 on a
// bad command line.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "focus.h"
#include "protocol/command_codes.h"
#include "protocol/frame.h"
#include "sim_options.h"
#include "sim_thread.h"

namespace {

using namespace focus;
using Clock = std::chrono::steady_clock;

long resident_kib() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return -1;
  long pages = 0, resident = -1;
  if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = -1;
  std::fclose(statm);
  return resident < 0 ? -1 : resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Results the simulator put on the line, counted from its traffic: the
// single ones (a single focus's completion, a single range, a fired
// trigger), which the library must hand over every one of, and those of
// the continuous modes, of which the next command clears what is unread.
struct SentResults {
  std::atomic<long> single{0};
  std::atomic<long> streamed{0};

  void count(const sim::TrafficEvent& event) {
    protocol::Frame frame;
    if (event.way != sim::TrafficEvent::Way::to_host || event.bytes.size() < protocol::kFrameOverhead ||
        !protocol::decode_frame(event.bytes.data(), event.bytes.size(), frame) ||
        frame.direction == protocol::kHostDirection || frame.payload.empty()) {
      return;
    }
    if (frame.payload[0] != protocol::kFocusResult && frame.payload[0] != protocol::kRangeResult) return;
    const bool stream =
        frame.command == protocol::kContinuousFocus || frame.command == protocol::kContinuousRange;
    ++(stream ? streamed : single);
  }
};

struct Tally {
  std::mutex lock;
  long calls = 0;
  std::map<std::int32_t, long> failures;     // by status
  std::map<std::string, long> failed_calls;  // by export
  long single_taken = 0;
  long streamed_taken = 0;

  void add(const char* name, std::int32_t status) {
    const std::lock_guard<std::mutex> hold(lock);
    ++calls;
    if (status != FOCUS_OK) {
      ++failures[status];
      ++failed_calls[name];
    }
  }
};

// One connection's share of the work: whole cycles, each of every kind of
// exchange, until the calls asked for are reserved.
class Worker {
 public:
  static constexpr long kCycleCalls = 26;

  Worker(DeviceConnection* dev, Tally& tally) : dev_(dev), tally_(tally) {}

  void run_cycle(int n) {
    const SyncTime time{static_cast<std::uint16_t>(n), 2, 3, 4};
    call("laser_on", focus_laser_on(dev_, 1));
    call("laser_power", focus_laser_power(dev_, n % 100));
    call("lift_control", focus_lift_control(dev_, n % 50));
    call("calib_mode", focus_calib_mode(dev_));
    call("calib_move", focus_calib_move(dev_, n % 7, n % 600));
    call("calib_save", focus_calib_save(dev_));
    call("fixed_cycle", focus_fixed_cycle(dev_, 300, 500));
    call("sync_time_set", focus_sync_time_set(dev_, &time));
    call("sync_time_get", focus_sync_time_get(dev_));
    call("ext_trigger_set", focus_ext_trigger_set(dev_));
    call("auto_descend", focus_auto_descend(dev_));
    if (call("single_focus", focus_single_focus(dev_))) ++single_taken_;
    call("single_range", focus_single_range(dev_));
    query("query_result (single range)", protocol::kRangeResult, single_taken_);
    call("ext_trigger_fire", focus_ext_trigger_fire(dev_));
    query("query_result (trigger)", protocol::kFocusResult, single_taken_);
    SysInfo info{};
    call("read_sys_info", focus_read_sys_info(dev_, &info));
    call("continuous_focus", focus_continuous_focus(dev_));
    for (int i = 0; i < 3; ++i)
      query("query_result (continuous focus)", protocol::kFocusResult, streamed_taken_);
    call("continuous_range", focus_continuous_range(dev_));
    for (int i = 0; i < 3; ++i)
      query("query_result (continuous range)", protocol::kRangeResult, streamed_taken_);
    call("laser_off", focus_laser_off(dev_));  // also ends the continuous mode
  }

  long single_taken_ = 0;
  long streamed_taken_ = 0;

 private:
  bool call(const char* name, std::int32_t status) {
    tally_.add(name, status);
    return status == FOCUS_OK;
  }
  void query(const char* name, std::uint8_t kind, long& taken) {
    QueryResult result{};
    std::int32_t status = focus_query_result(dev_, &result);
    if (status == FOCUS_OK && result.kind != kind) status = FOCUS_ERR_DEVICE;  // not the result expected
    if (call(name, status)) ++taken;
  }

  DeviceConnection* dev_;
  Tally& tally_;
};

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

int usage(const char* message) {
  std::fprintf(
      stderr,
      "focus-soak: %s\n"
      "usage: focus-soak [--sim-options \"OPTIONS\"] [--calls N] [--connections C]\n"
      "  --sim-options  focus-sim options for every simulator, e.g. \"--noise 0.3 --split --echo\";\n"
      "                 by default a single focus completes after 50 ms (--focus-ms 50)\n"
      "  --calls        calls to make, at least (default 2000); whole cycles of %ld\n"
      "  --connections  connections, each with a simulator of its own, on threads (default 4)\n",
      message, Worker::kCycleCalls);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string sim_text;
  long calls = 2000;
  int connections = 4;
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return usage(("a value is missing after " + args[i]).c_str());
    const std::string& value = args[i + 1];
    if (args[i] == "--sim-options") {
      sim_text = value;
    } else if (args[i] == "--calls") {
      calls = std::strtol(value.c_str(), nullptr, 10);
      if (calls <= 0) return usage("--calls needs a positive number");
    } else if (args[i] == "--connections") {
      connections = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
      if (connections <= 0 || connections > 64) return usage("--connections needs 1 to 64");
    } else {
      return usage(("unknown option " + args[i]).c_str());
    }
  }

  sim::SimOptions options;
  options.device.focus_ms = 50;
  const std::vector<std::string> sim_args = words(sim_text);
  for (std::size_t i = 0; i < sim_args.size();) {
    std::string error;
    switch (sim::parse_sim_option(sim_args, i, options, error)) {
      case sim::OptionParse::consumed: continue;
      case sim::OptionParse::not_mine: return usage(("not a simulator option: " + sim_args[i]).c_str());
      case sim::OptionParse::error: return usage(error.c_str());
    }
  }
  if (options.device.fail_code || options.device.refuse.any() || options.device.silent.any() ||
      options.line.corrupt > 0) {
    return usage("the soak expects every call to succeed: no --fail-code, --refuse, --silent or --corrupt");
  }

  // One simulator and one connection per worker; the sims count what they send.
  std::vector<std::unique_ptr<SentResults>> sent;
  std::vector<std::unique_ptr<sim::SimulatorThread>> sims;
  std::vector<DeviceConnection*> devs;
  const std::uint64_t first_key = sim::resolve_replay_key(options);
  for (int i = 0; i < connections; ++i) {
    sent.push_back(std::make_unique<SentResults>());
    sim::SimOptions own = options;
    own.replay_key = first_key + static_cast<std::uint64_t>(i);
    own.link.clear();
    SentResults* counter = sent.back().get();
    std::string error;
    sims.push_back(sim::SimulatorThread::start(own, error,
                                               [counter](const sim::TrafficEvent& e) { counter->count(e); }));
    if (!sims.back()) {
      std::fprintf(stderr, "focus-soak: no simulator: %s\n", error.c_str());
      return 1;
    }
    devs.push_back(focus_init(sims.back()->port().c_str()));
    if (devs.back() == nullptr) {
      std::fprintf(stderr, "focus-soak: cannot open %s\n", sims.back()->port().c_str());
      return 1;
    }
  }
  std::printf("focus-soak: %ld calls on %d connections, simulator options \"%s\", replay keys %llu to %llu\n",
              calls, connections, sim_text.c_str(), static_cast<unsigned long long>(first_key),
              static_cast<unsigned long long>(first_key + connections - 1));
  std::fflush(stdout);

  Tally tally;
  const long rss_start = resident_kib();
  const auto start = Clock::now();
  std::atomic<long> reserved{0};
  std::atomic<long> next_report{calls / 10};
  std::vector<std::unique_ptr<Worker>> workers;
  std::vector<std::thread> threads;
  for (int i = 0; i < connections; ++i) {
    workers.push_back(std::make_unique<Worker>(devs[i], tally));
    threads.emplace_back([&, worker = workers.back().get()] {
      for (int cycle = 0; reserved.fetch_add(Worker::kCycleCalls) < calls; ++cycle) {
        worker->run_cycle(cycle);
        long due = next_report.load();
        const long done = reserved.load();
        if (done >= due && next_report.compare_exchange_strong(due, due + calls / 10)) {
          std::fprintf(stderr, "  %ld calls, %.0f s\n", done,
                       std::chrono::duration<double>(Clock::now() - start).count());
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long rss_end = resident_kib();

  for (DeviceConnection* dev : devs) focus_close(dev);
  sims.clear();  // every byte is out and counted

  long single_sent = 0, streamed_sent = 0, single_taken = 0, streamed_taken = 0;
  for (int i = 0; i < connections; ++i) {
    single_sent += sent[i]->single;
    streamed_sent += sent[i]->streamed;
    single_taken += workers[i]->single_taken_;
    streamed_taken += workers[i]->streamed_taken_;
  }
  long failed = 0;
  for (const auto& [status, count] : tally.failures) failed += count;
  const long lost = single_sent - single_taken;

  std::printf("calls made:       %ld in %.1f s (%.0f calls/s)\n", tally.calls, seconds,
              tally.calls / seconds);
  std::printf("failed calls:     %ld\n", failed);
  for (const auto& [status, count] : tally.failures)
    std::printf("  %-20s %ld\n", focus_status_name(status), count);
  for (const auto& [name, count] : tally.failed_calls) std::printf("  in %-31s %ld\n", name.c_str(), count);
  std::printf("results:          single ones sent %ld, received %ld, lost %ld\n", single_sent, single_taken,
              lost);
  std::printf(
      "                  continuous ones sent %ld, received %ld (the rest cleared by the next command)\n",
      streamed_sent, streamed_taken);
  std::printf("resident memory:  %ld KiB at start, %ld KiB at end\n", rss_start, rss_end);
  const bool clean = failed == 0 && lost == 0;
  std::printf("%s\n", clean ? "clean: no failed call, no lost result" : "NOT CLEAN");
  return clean ? 0 : 1;
}
