#include "monitor.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>

#include "device_commands.h"
#include "status_codes.h"

namespace focus::ctl {

namespace {

// Each empty query waits about 0.5 s: ten in a row mean the stream stopped.
constexpr int kQuietLimit = 10;
// The rate counts the results of the last two seconds, so that it follows
// changes; results come in bursts (a query returns the ones held at once),
// so a count over time is steadier than the gaps between results.
constexpr double kRateWindowSeconds = 2.0;

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void on_interrupt(int) {
  g_interrupted = 1;
}

using Clock = std::chrono::steady_clock;

double seconds_between(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

class InterruptGuard {
 public:
  InterruptGuard() {
    g_interrupted = 0;
    previous_ = std::signal(SIGINT, on_interrupt);
  }
  ~InterruptGuard() { std::signal(SIGINT, previous_); }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  void (*previous_)(int) = SIG_DFL;
};

}  // namespace

bool parse_monitor_options(const std::vector<std::string>& args, MonitorOptions& out, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--range") {
      out.range = true;
    } else if (args[i] == "--count" && i + 1 < args.size()) {
      std::uint32_t count = 0;
      if (!parse_uint(args[i + 1], 1000000000u, count) || count == 0) {
        error = "monitor: --count takes a number of results from 1, not \"" + args[i + 1] + "\"";
        return false;
      }
      out.count = count;
      ++i;
    } else {
      error = "monitor takes only [--range] [--count N], not \"" + args[i] + "\"";
      return false;
    }
  }
  return true;
}

int run_monitor(DeviceConnection* dev, const MonitorOptions& options, const Reporter& reporter) {
  const auto started = Clock::now();
  CallReport start;
  start.command = "monitor";
  start.call = options.range ? "focus_continuous_range()" : "focus_continuous_focus()";
  start.status = options.range ? focus_continuous_range(dev) : focus_continuous_focus(dev);
  start.elapsed_ms = static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
  if (start.status != FOCUS_OK || !reporter.json()) reporter.call(start);
  if (start.status != FOCUS_OK) return exit_code_for(start.status);
  if (!reporter.json()) std::printf("results (Ctrl-C stops):\n");

  InterruptGuard interrupt;
  std::deque<Clock::time_point> recent;
  std::uint32_t received = 0;
  int quiet = 0;
  std::int32_t ending = FOCUS_OK;
  while (!g_interrupted && (!options.count || received < *options.count)) {
    QueryResult result{};
    const std::int32_t status = focus_query_result(dev, &result);
    if (status == FOCUS_ERR_TIMEOUT) {
      if (++quiet < kQuietLimit) continue;
      std::fprintf(stderr, "focusctl: no result for %d queries (about %d s); the stream has stopped\n", quiet,
                   quiet / 2);
      ending = status;
      break;
    }
    if (status != FOCUS_OK) {
      ending = status;
      break;
    }
    quiet = 0;
    ++received;
    const Clock::time_point now = Clock::now();
    recent.push_back(now);
    while (seconds_between(recent.front(), now) > kRateWindowSeconds) recent.pop_front();
    const double span = std::min(kRateWindowSeconds, seconds_between(started, now));
    const double rate = span > 0 ? static_cast<double>(recent.size()) / span : 0.0;
    if (reporter.json()) {
      JsonObject json = result_json(result);
      json.text("command", "monitor").number("n", received);
      json.number("elapsed_ms", static_cast<std::int64_t>(seconds_between(started, now) * 1000));
      json.real("rate_hz", rate);
      std::printf("%s\n", json.str().c_str());
    } else {
      std::printf("%6u  %8.3f s  %s   %.1f/s\n", received, seconds_between(started, now),
                  describe_result(result).c_str(), rate);
    }
    std::fflush(stdout);
  }

  const double elapsed = seconds_between(started, Clock::now());
  const double overall = elapsed > 0 ? received / elapsed : 0.0;
  if (reporter.json()) {
    JsonObject json;
    json.text("command", "monitor").boolean("summary", true).number("results", received);
    json.number("elapsed_ms", static_cast<std::int64_t>(elapsed * 1000)).real("rate_hz", overall);
    json.number("status", ending)
        .text("status_name", focus_status_name(ending))
        .boolean("ok", ending == FOCUS_OK);
    std::printf("%s\n", json.str().c_str());
  } else {
    std::printf("%u results in %.2f s (%.1f/s)%s\n", received, elapsed, overall,
                g_interrupted ? ", stopped by Ctrl-C" : "");
  }
  std::fflush(stdout);
  return exit_code_for(ending);
}

}  // namespace focus::ctl
