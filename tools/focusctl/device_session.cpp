#include "device_session.h"

#include <chrono>

#include "demo.h"
#include "port_diagnosis.h"
#include "status_codes.h"
#include "traffic_trace.h"
#include "wait_notice.h"

namespace focus::ctl {

namespace {

std::uint64_t ms_since(std::chrono::steady_clock::time_point start) {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
          .count());
}

// Makes one library call with the waiting notice up, and reports it.
template <class Call>
CallReport timed_call(DeviceConnection* dev, TrafficTrace& trace, const std::string& command,
                      std::string call, bool single_focus, Call&& make_call) {
  trace.begin_call();
  CallReport report;
  report.command = command;
  report.call = std::move(call);
  const auto start = std::chrono::steady_clock::now();
  {
    WaitNotice notice(stderr_is_terminal(), report.call);
    report.status = make_call(report);
  }
  report.elapsed_ms = ms_since(start);
  if (report.status == FOCUS_ERR_TIMEOUT) report.line = trace.call_counts();
  if (report.status != FOCUS_OK && call_stores_message(single_focus, report.status)) {
    report.error = focus_get_error(dev);
  }
  return report;
}

bool parse_single_focus(const std::vector<std::string>& args, std::optional<std::uint32_t>& timeout,
                        std::string& error) {
  if (args.empty()) return true;
  if (args.size() == 2 && args[0] == "--timeout") {
    std::uint32_t value = 0;
    if (parse_uint(args[1], 0xFFFFFFFFu, value)) {
      timeout = value;
      return true;
    }
    error = "single-focus: --timeout takes milliseconds, 0 (no limit) to 4294967295, not \"" + args[1] + "\"";
    return false;
  }
  error = "single-focus takes only [--timeout MS]";
  return false;
}

int run_on_connection(const PreparedCommand& command, const Invocation& invocation, DeviceConnection* dev,
                      TrafficTrace& trace, const Reporter& reporter) {
  using Kind = PreparedCommand::Kind;
  CallReport report;
  switch (command.kind) {
    case Kind::init:  // done by opening
    case Kind::demo:  // runs on a connection of its own
      return kExitOk;
    case Kind::simple:
      report =
          timed_call(dev, trace, invocation.command, call_text(command.simple->export_name, command.values),
                     false, [&](CallReport&) { return command.simple->call(dev, command.values); });
      if (report.status == FOCUS_OK && command.simple->collects_result) {
        QueryResult result{};
        trace.begin_call();
        if (focus_query_result(dev, &result) == FOCUS_OK) {
          report.result = result;
        } else {
          report.status = FOCUS_ERR_TIMEOUT;
          report.call += " + focus_query_result";
          report.line = trace.call_counts();
        }
      }
      break;
    case Kind::single_focus:
      if (command.timeout_ms) {
        report = timed_call(
            dev, trace, invocation.command, call_text("focus_single_focus_timeout", {*command.timeout_ms}),
            true, [&](CallReport&) { return focus_single_focus_timeout(dev, *command.timeout_ms); });
      } else {
        report = timed_call(dev, trace, invocation.command, "focus_single_focus()", true,
                            [&](CallReport&) { return focus_single_focus(dev); });
      }
      break;
    case Kind::query:
      report = timed_call(dev, trace, invocation.command, "focus_query_result()", false, [&](CallReport& r) {
        QueryResult result{};
        const std::int32_t status = focus_query_result(dev, &result);
        if (status == FOCUS_OK) r.result = result;
        return status;
      });
      break;
    case Kind::sys_info:
      report = timed_call(dev, trace, invocation.command, "focus_read_sys_info()", false, [&](CallReport& r) {
        SysInfo info{};
        const std::int32_t status = focus_read_sys_info(dev, &info);
        if (status == FOCUS_OK) r.info = info;
        return status;
      });
      break;
    case Kind::monitor: return run_monitor(dev, command.monitor, trace, reporter);
  }
  reporter.call(report);
  return exit_code_for(report.status);
}

}  // namespace

bool call_stores_message(bool single_focus, std::int32_t status) {
  if (status == FOCUS_ERR_NOT_OPEN || status == FOCUS_ERR_WRITE || status == FOCUS_ERR_NO_MEMORY) return true;
  return single_focus && (status == FOCUS_ERR_DEVICE || status == FOCUS_ERR_TIMEOUT);
}

bool prepare_command(const Invocation& invocation, PreparedCommand& out, std::string& error) {
  using Kind = PreparedCommand::Kind;
  const std::string& name = invocation.command;
  const auto no_arguments = [&](Kind kind) {
    out.kind = kind;
    if (invocation.args.empty()) return true;
    error = name + " takes no arguments";
    return false;
  };
  if (const SimpleCommand* simple = find_simple_command(name)) {
    out.kind = Kind::simple;
    out.simple = simple;
    return parse_values(name, simple->args, invocation.args, out.values, error);
  }
  if (name == "single-focus") {
    out.kind = Kind::single_focus;
    return parse_single_focus(invocation.args, out.timeout_ms, error);
  }
  if (name == "monitor") {
    out.kind = Kind::monitor;
    return parse_monitor_options(invocation.args, out.monitor, error);
  }
  if (name == "init") return no_arguments(Kind::init);
  if (name == "query") return no_arguments(Kind::query);
  if (name == "sys-info") return no_arguments(Kind::sys_info);
  if (name == "demo") return no_arguments(Kind::demo);
  error = "unknown command \"" + name + "\"";
  return false;
}

int run_prepared(const PreparedCommand& command, const Invocation& invocation, const DeviceLine& line,
                 const Reporter& reporter) {
  if (command.kind == PreparedCommand::Kind::demo) {
    return run_demo(line.port(), line.shown_name(), invocation.prompt, reporter);
  }
  const auto start = std::chrono::steady_clock::now();
  DeviceConnection* dev = focus_init(line.port().c_str());
  if (dev == nullptr) {
    const int os_error = last_os_error();
    reporter.open_failure(invocation.command, line.shown_name(),
                          diagnose_open_failure(line.shown_name(), os_error));
    return kExitCannotOpen;
  }
  if (invocation.prompt) focus_set_wait_mode(dev, FOCUS_WAIT_PROMPT);
  TrafficTrace trace(invocation.trace, stderr);
  trace.attach(dev);
  if (command.kind == PreparedCommand::Kind::init) {
    CallReport report;
    report.command = invocation.command;
    report.call = "focus_init(\"" + line.port() + "\")";
    report.elapsed_ms = ms_since(start);
    reporter.call(report);
  }
  const int exit_code = run_on_connection(command, invocation, dev, trace, reporter);
  trace.detach(dev);
  focus_close(dev);
  return exit_code;
}

}  // namespace focus::ctl
