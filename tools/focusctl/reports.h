// How focusctl shows what a call did: text for people, or one JSON object
// per line for scripts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "focus.h"
#include "json_writer.h"
#include "port_diagnosis.h"

namespace focus::ctl {

struct CallReport {
  std::string command;  // the subcommand
  std::string call;     // "focus_laser_on(80)"
  std::int32_t status = FOCUS_OK;
  std::string error;  // the connection's message, when the call failed
  std::uint64_t elapsed_ms = 0;
  std::optional<QueryResult> result;
  std::optional<SysInfo> info;
};

// "range result, status 1, code 0, value 19950".
std::string describe_result(const QueryResult& result);
// The fields as focus-sim fills them: "laser on, power 120, lift 40, ...".
std::string describe_simulated_info(const SysInfo& info);

JsonObject result_json(const QueryResult& result);
JsonObject info_json(const SysInfo& info);
JsonObject call_json(const CallReport& report);

class Reporter {
 public:
  Reporter(bool json, bool simulated) : json_(json), simulated_(simulated) {}

  bool json() const { return json_; }
  bool simulated() const { return simulated_; }

  void call(const CallReport& report) const;
  void open_failure(const std::string& command, const std::string& port, const OpenFailure& failure) const;

 private:
  bool json_;
  bool simulated_;
};

}  // namespace focus::ctl
