#include "demo.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include "port_diagnosis.h"
#include "status_codes.h"
#include "wait_notice.h"

namespace focus::ctl {

namespace {

struct StepOutcome {
  std::int32_t status = FOCUS_OK;
  std::string result;
  int os_error = 0;  // why focus_init failed, read before anything else can change it
};

struct Step {
  std::string call;
  std::function<StepOutcome(DeviceConnection*&)> run;
};

StepOutcome acknowledged(std::int32_t status) {
  return {status, status == FOCUS_OK ? "acknowledged" : "", 0};
}

StepOutcome collect(DeviceConnection* dev) {
  QueryResult result{};
  const std::int32_t status = focus_query_result(dev, &result);
  return {status, status == FOCUS_OK ? describe_result(result) : "", 0};
}

// The host's clock as four words: year, month x 100 + day, hour x 100 +
// minute, second. What the words mean is the device's business; these read
// well in the system information.
SyncTime clock_words() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
#ifdef _WIN32
  localtime_s(&parts, &now);
#else
  localtime_r(&now, &parts);
#endif
  return SyncTime{static_cast<std::uint16_t>(parts.tm_year + 1900),
                  static_cast<std::uint16_t>((parts.tm_mon + 1) * 100 + parts.tm_mday),
                  static_cast<std::uint16_t>(parts.tm_hour * 100 + parts.tm_min),
                  static_cast<std::uint16_t>(parts.tm_sec)};
}

// One command in each wait mode, timed side by side; the demo's own mode is
// set back afterwards.
StepOutcome compare_wait_modes(DeviceConnection* dev, bool prompt) {
  using Clock = std::chrono::steady_clock;
  const auto timed = [dev](std::uint32_t mode, double& ms) {
    focus_set_wait_mode(dev, mode);
    const auto start = Clock::now();
    const std::int32_t status = focus_calib_save(dev);
    ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return status;
  };
  double paced_ms = 0;
  double prompt_ms = 0;
  std::int32_t status = timed(FOCUS_WAIT_PACED, paced_ms);
  const std::int32_t prompt_status = timed(FOCUS_WAIT_PROMPT, prompt_ms);
  if (status == FOCUS_OK) status = prompt_status;
  focus_set_wait_mode(dev, prompt ? FOCUS_WAIT_PROMPT : FOCUS_WAIT_PACED);
  char text[96];
  std::snprintf(text, sizeof text, "focus_calib_save(): paced %.1f ms | prompt %.1f ms", paced_ms, prompt_ms);
  return {status, text, 0};
}

std::vector<Step> tour(const std::string& port, bool simulated, bool prompt) {
  const SyncTime time = clock_words();
  const auto simple = [](std::string call, std::int32_t (*function)(DeviceConnection*)) {
    return Step{std::move(call), [function](DeviceConnection*& dev) { return acknowledged(function(dev)); }};
  };
  return {
      {"focus_init(\"" + port + "\")",
       [port, prompt](DeviceConnection*& dev) {
         dev = focus_init(port.c_str());
         if (dev == nullptr) return StepOutcome{FOCUS_ERR_NOT_OPEN, "", last_os_error()};
         if (prompt) focus_set_wait_mode(dev, FOCUS_WAIT_PROMPT);
         return StepOutcome{FOCUS_OK, prompt ? "connection open, prompt wait mode" : "connection open"};
       }},
      {"focus_get_error()",
       [](DeviceConnection*& dev) {
         return StepOutcome{FOCUS_OK, std::string("\"") + focus_get_error(dev) + "\" (no message yet)"};
       }},
      {"focus_laser_on(80)", [](DeviceConnection*& dev) { return acknowledged(focus_laser_on(dev, 80)); }},
      {"focus_laser_power(120)",
       [](DeviceConnection*& dev) { return acknowledged(focus_laser_power(dev, 120)); }},
      {"focus_lift_control(40)",
       [](DeviceConnection*& dev) { return acknowledged(focus_lift_control(dev, 40)); }},
      {"focus_sync_time_set(" + std::to_string(time.word1) + ", " + std::to_string(time.word2) + ", " +
           std::to_string(time.word3) + ", " + std::to_string(time.word4) + ")",
       [time](DeviceConnection*& dev) { return acknowledged(focus_sync_time_set(dev, &time)); }},
      simple("focus_sync_time_get()", focus_sync_time_get),
      simple("focus_calib_mode()", focus_calib_mode),
      {"focus_calib_move(10, 500)",
       [](DeviceConnection*& dev) { return acknowledged(focus_calib_move(dev, 10, 500)); }},
      simple("focus_calib_save()", focus_calib_save),
      {"focus_single_focus()",
       [](DeviceConnection*& dev) {
         const std::int32_t status = focus_single_focus(dev);
         return StepOutcome{status, status == FOCUS_OK ? "focus completed" : focus_get_error(dev)};
       }},
      {"focus_single_focus_timeout(2000)",
       [](DeviceConnection*& dev) {
         const std::int32_t status = focus_single_focus_timeout(dev, 2000);
         return StepOutcome{status, status == FOCUS_OK ? "focus completed" : focus_get_error(dev)};
       }},
      simple("focus_single_range()", focus_single_range),
      {"focus_query_result()", [](DeviceConnection*& dev) { return collect(dev); }},
      simple("focus_continuous_focus()", focus_continuous_focus),
      {"focus_query_result()", [](DeviceConnection*& dev) { return collect(dev); }},
      simple("focus_continuous_range()", focus_continuous_range),
      {"focus_query_result()", [](DeviceConnection*& dev) { return collect(dev); }},
      simple("focus_ext_trigger_set()", focus_ext_trigger_set),
      simple("focus_ext_trigger_fire()", focus_ext_trigger_fire),
      {"focus_query_result()", [](DeviceConnection*& dev) { return collect(dev); }},
      {"focus_fixed_cycle(300, 500)",
       [](DeviceConnection*& dev) { return acknowledged(focus_fixed_cycle(dev, 300, 500)); }},
      {"focus_read_sys_info()",
       [simulated](DeviceConnection*& dev) {
         SysInfo info{};
         const std::int32_t status = focus_read_sys_info(dev, &info);
         if (status != FOCUS_OK) return StepOutcome{status, ""};
         if (simulated) return StepOutcome{status, describe_simulated_info(info)};
         return StepOutcome{status, json_line(info_json(info))};
       }},
      {"focus_set_wait_mode(paced, prompt)",
       [prompt](DeviceConnection*& dev) { return compare_wait_modes(dev, prompt); }},
      simple("focus_auto_descend()", focus_auto_descend),
      simple("focus_laser_off()", focus_laser_off),
      simple("focus_power_off()", focus_power_off),
      {"focus_close()",
       [](DeviceConnection*& dev) {
         focus_close(dev);
         dev = nullptr;
         return StepOutcome{FOCUS_OK, "connection closed"};
       }},
  };
}

}  // namespace

int run_demo(const std::string& port, const std::string& shown_name, bool prompt, const Reporter& reporter) {
  using Clock = std::chrono::steady_clock;
  const std::vector<Step> steps = tour(port, reporter.simulated(), prompt);
  if (!reporter.json()) {
    std::printf("focus tour on %s%s: every library function, in turn\n\n", shown_name.c_str(),
                reporter.origin());
    std::printf("%3s  %-42s %-18s %8s  %s\n", "#", "operation", "status", "time", "result");
    std::fflush(stdout);
  }
  DeviceConnection* dev = nullptr;
  int exit_code = kExitOk;
  int failed = 0;
  const auto tour_start = Clock::now();
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    const auto start = Clock::now();
    StepOutcome outcome;
    {
      WaitNotice notice(stderr_is_terminal(), step.call);
      outcome = step.run(dev);
    }
    const auto elapsed_ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    const bool opened = i != 0 || dev != nullptr;
    if (outcome.status != FOCUS_OK) {
      ++failed;
      if (exit_code == kExitOk) exit_code = opened ? exit_code_for(outcome.status) : kExitCannotOpen;
    }
    const std::string status = opened ? std::string(focus_status_name(outcome.status)) : "FAILED";
    if (reporter.json()) {
      Json json = reporter.object();
      json["command"] = "demo";
      json["step"] = static_cast<std::int64_t>(i + 1);
      json["call"] = step.call;
      json["status"] = outcome.status;
      json["status_name"] = status;
      json["ok"] = outcome.status == FOCUS_OK;
      json["elapsed_ms"] = elapsed_ms;
      json["result"] = outcome.result;
      std::printf("%s\n", json_line(json).c_str());
    } else {
      std::printf("%3zu  %-42s %-18s %5lld ms  %s\n", i + 1, step.call.c_str(), status.c_str(),
                  static_cast<long long>(elapsed_ms), outcome.result.c_str());
    }
    std::fflush(stdout);
    if (!opened) {
      reporter.open_failure("demo", shown_name, diagnose_open_failure(shown_name, outcome.os_error));
      return kExitCannotOpen;
    }
  }
  if (dev != nullptr) focus_close(dev);
  const double seconds = std::chrono::duration<double>(Clock::now() - tour_start).count();
  if (reporter.json()) {
    Json json = reporter.object();
    json["command"] = "demo";
    json["summary"] = true;
    json["steps"] = static_cast<std::int64_t>(steps.size());
    json["failed"] = failed;
    json["seconds"] = seconds;
    json["ok"] = failed == 0;
    std::printf("%s\n", json_line(json).c_str());
  } else if (failed == 0) {
    std::printf("\nAll %zu steps succeeded in %.1f s%s: the 25 library functions, some more than once.\n",
                steps.size(), seconds, reporter.origin());
  } else {
    std::printf("\n%d of %zu steps failed (%.1f s)%s.\n", failed, steps.size(), seconds, reporter.origin());
  }
  std::fflush(stdout);
  return exit_code;
}

}  // namespace focus::ctl
