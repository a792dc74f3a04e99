// How focusctl shows what a call did: text for people, or one JSON object
// per line for scripts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "focus.h"
#include "json_output.h"
#include "port_diagnosis.h"
#include "traffic_trace.h"

namespace focus::ctl {

struct CallReport {
  std::string command;  // the subcommand
  std::string call;     // "focus_laser_on(80)"
  std::int32_t status = FOCUS_OK;
  std::string error;  // the connection's message, when the call failed
  std::uint64_t elapsed_ms = 0;
  std::optional<QueryResult> result;
  std::optional<SysInfo> info;
  std::optional<LineCounts> line;  // what came back, for a call that timed out
};

// "range result, status 1, code 0, value 19950".
std::string describe_result(const QueryResult& result);
// The fields as focus-sim fills them: "laser on, power 120, lift 40, ...".
std::string describe_simulated_info(const SysInfo& info);

Json result_json(const QueryResult& result);
Json info_json(const SysInfo& info);
Json call_json(const CallReport& report, Json json = Json::object());

class Reporter {
 public:
  // `device`: the port's name as the user gave it (unused when simulated).
  Reporter(bool json, bool simulated, std::string device = "")
      : json_(json), simulated_(simulated), device_(simulated ? "simulator" : std::move(device)) {}

  bool json() const { return json_; }
  bool simulated() const { return simulated_; }
  // A JSON object that says which device it is about: "device": "simulator"
  // or the port's name.
  Json object() const;
  // " (simulator)" after every human-readable result from the simulator.
  const char* origin() const { return simulated_ ? " (simulator)" : ""; }

  void call(const CallReport& report) const;
  void open_failure(const std::string& command, const std::string& port, const OpenFailure& failure) const;

 private:
  bool json_;
  bool simulated_;
  std::string device_;
};

}  // namespace focus::ctl
