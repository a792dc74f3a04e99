#include "monitor.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>

#include "device_commands.h"
#include "monitor_files.h"
#include "status_codes.h"

namespace focus::ctl {

namespace {

// Each empty query waits about 0.5 s: ten in a row mean the stream stopped.
constexpr int kQuietLimit = 10;

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void on_interrupt(int) {
  g_interrupted = 1;
}

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
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

struct Summary {
  std::size_t results = 0;
  double duration_ms = 0;           // from the start of the mode to the end
  std::optional<double> mean_rate;  // over the whole stream, as SlidingRate counts
  double min = 0, max = 0, mean = 0, stddev = 0;
  double longest_gap_ms = 0;
  std::size_t failed = 0;  // results with a status other than 1
  std::uint64_t bad_frames = 0;
};

Summary summarise(const std::vector<MonitorSample>& samples, double duration_ms, std::uint64_t bad_frames) {
  Summary s;
  s.results = samples.size();
  s.duration_ms = duration_ms;
  s.bad_frames = bad_frames;
  if (samples.empty()) return s;
  double sum = 0;
  s.min = s.max = samples.front().result.value;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double v = samples[i].result.value;
    sum += v;
    s.min = std::min(s.min, v);
    s.max = std::max(s.max, v);
    if (samples[i].result.status != 1) ++s.failed;
    if (i > 0) s.longest_gap_ms = std::max(s.longest_gap_ms, samples[i].host_ms - samples[i - 1].host_ms);
  }
  s.mean = sum / static_cast<double>(samples.size());
  double squares = 0;
  for (const MonitorSample& m : samples) squares += (m.result.value - s.mean) * (m.result.value - s.mean);
  s.stddev = std::sqrt(squares / static_cast<double>(samples.size()));
  const double first = samples.front().host_ms, last = samples.back().host_ms;
  std::size_t after_first_read = 0;
  for (const MonitorSample& m : samples) after_first_read += m.host_ms > first ? 1 : 0;
  if (last > first) s.mean_rate = after_first_read * 1000.0 / (last - first);
  return s;
}

std::string rate_text(const std::optional<double>& rate) {
  if (!rate) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f/s", *rate);
  return text;
}

void print_summary(const Summary& s, bool interrupted, std::int32_t ending, const Reporter& reporter) {
  if (reporter.json()) {
    Json json = reporter.object();
    json["command"] = "monitor";
    json["summary"] = true;
    json["results"] = static_cast<std::int64_t>(s.results);
    json["elapsed_ms"] = static_cast<std::int64_t>(s.duration_ms);
    if (s.mean_rate) {
      json["rate_hz"] = *s.mean_rate;
    } else {
      json["rate_hz"] = nullptr;
    }
    json["min"] = s.min;
    json["max"] = s.max;
    json["mean"] = s.mean;
    json["stddev"] = s.stddev;
    json["longest_gap_ms"] = s.longest_gap_ms;
    json["failed_results"] = static_cast<std::int64_t>(s.failed);
    json["bad_frames"] = static_cast<std::int64_t>(s.bad_frames);
    json["interrupted"] = interrupted;
    json["status"] = ending;
    json["status_name"] = focus_status_name(ending);
    json["ok"] = ending == FOCUS_OK;
    std::printf("%s\n", json_line(json).c_str());
  } else {
    std::printf("\n%zu results in %.2f s%s%s, mean rate %s\n", s.results, s.duration_ms / 1000,
                interrupted ? ", stopped by Ctrl-C" : "", reporter.origin(), rate_text(s.mean_rate).c_str());
    if (s.results > 0) {
      std::printf("  value   min %.0f  max %.0f  mean %.1f  stddev %.1f\n", s.min, s.max, s.mean, s.stddev);
    }
    std::printf(
        "  longest gap between results %.0f ms; %zu failed results; %llu bad frames (CRC) on the line\n",
        s.longest_gap_ms, s.failed, static_cast<unsigned long long>(s.bad_frames));
  }
}

}  // namespace

void SlidingRate::add_read(double ms, std::size_t results) {
  reads_.push_back({ms, results});
  const auto first_kept =
      std::find_if(reads_.begin(), reads_.end(), [&](const Read& r) { return ms - r.ms <= kWindowMs; });
  reads_.erase(reads_.begin(), first_kept);
}

std::optional<double> SlidingRate::per_second() const {
  if (reads_.size() < 2) return std::nullopt;
  std::size_t later = 0;
  for (std::size_t i = 1; i < reads_.size(); ++i) later += reads_[i].results;
  return static_cast<double>(later) * 1000.0 / (reads_.back().ms - reads_.front().ms);
}

bool parse_monitor_options(const std::vector<std::string>& args, MonitorOptions& out, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const bool has_value = i + 1 < args.size();
    if (args[i] == "--range") {
      out.range = true;
    } else if (args[i] == "--count" && has_value) {
      std::uint32_t count = 0;
      if (!parse_uint(args[i + 1], 1000000000u, count) || count == 0) {
        error = "monitor: --count takes a number of results from 1, not \"" + args[i + 1] + "\"";
        return false;
      }
      out.count = count;
      ++i;
    } else if (args[i] == "--csv" && has_value && !args[i + 1].empty()) {
      out.csv = args[++i];
    } else if (args[i] == "--plot" && has_value && !args[i + 1].empty()) {
      out.plot = args[++i];
    } else {
      error =
          "monitor takes only [--range] [--count N] [--csv FILE] [--plot FILE.svg], not \"" + args[i] + "\"";
      return false;
    }
  }
  return true;
}

int run_monitor(DeviceConnection* dev, const MonitorOptions& options, TrafficTrace& trace,
                const Reporter& reporter) {
  const auto started = Clock::now();
  CallReport start;
  start.command = "monitor";
  start.call = options.range ? "focus_continuous_range()" : "focus_continuous_focus()";
  start.status = options.range ? focus_continuous_range(dev) : focus_continuous_focus(dev);
  start.elapsed_ms = static_cast<std::uint64_t>(ms_between(started, Clock::now()));
  if (start.status != FOCUS_OK || !reporter.json()) reporter.call(start);
  if (start.status != FOCUS_OK) return exit_code_for(start.status);
  if (!reporter.json()) {
    std::printf("results%s, timed by when the host read them (Ctrl-C stops):\n", reporter.origin());
    std::printf("%6s  %10s  %-44s %9s\n", "n", "host ms", "result", "rate");
  }

  InterruptGuard interrupt;
  std::vector<MonitorSample> samples;
  SlidingRate rate;
  int quiet = 0;
  std::int32_t ending = FOCUS_OK;
  while (!g_interrupted && (!options.count || samples.size() < *options.count)) {
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
    Clock::time_point read_at;
    if (!trace.next_result_time(read_at)) read_at = Clock::now();
    const double host_ms = ms_between(started, read_at);
    if (samples.empty() || host_ms != samples.back().host_ms) {
      rate.add_read(host_ms, 1 + trace.results_left_from(read_at));
    }
    samples.push_back({host_ms, result});
    const std::optional<double> hz = rate.per_second();
    if (reporter.json()) {
      Json json = reporter.object();
      json.update(result_json(result));
      json["command"] = "monitor";
      json["n"] = static_cast<std::int64_t>(samples.size());
      json["host_ms"] = host_ms;
      json["elapsed_ms"] = static_cast<std::int64_t>(host_ms);
      if (hz) {
        json["rate_hz"] = *hz;
      } else {
        json["rate_hz"] = nullptr;
      }
      std::printf("%s\n", json_line(json).c_str());
    } else {
      std::printf("%6zu  %10.1f  %-44s %9s\n", samples.size(), host_ms, describe_result(result).c_str(),
                  rate_text(hz).c_str());
    }
    std::fflush(stdout);
  }

  const bool interrupted = g_interrupted != 0;
  print_summary(summarise(samples, ms_between(started, Clock::now()), trace.bad_frames_seen()), interrupted,
                ending, reporter);
  int exit_code = exit_code_for(ending);
  if (!options.csv.empty() && !write_samples_csv(options.csv, samples)) {
    std::fprintf(stderr, "focusctl: cannot write %s\n", options.csv.c_str());
    exit_code = kExitFailure;
  }
  const std::string title = std::string(options.range ? "continuous range" : "continuous focus") + ", " +
                            std::to_string(samples.size()) + " results" + reporter.origin();
  if (!options.plot.empty() && !write_samples_svg(options.plot, samples, title)) {
    std::fprintf(stderr, "focusctl: cannot write %s\n", options.plot.c_str());
    exit_code = kExitFailure;
  }
  // The protocol has no stop command.
  std::fprintf(stderr,
               "focusctl: the device keeps streaming results until it receives its next command "
               "(the protocol has no stop command)\n");
  std::fflush(stdout);
  return exit_code;
}

}  // namespace focus::ctl
