#include "reports.h"

#include <array>
#include <cstdio>

#include "port_list.h"
#include "status_codes.h"

namespace focus::ctl {

namespace {

std::string kind_name(std::uint8_t kind) {
  switch (kind) {
    case 1: return "acknowledgement";
    case 2: return "focus result";
    case 3: return "range result";
    default: return "kind " + std::to_string(kind);
  }
}

struct InfoField {
  const char* name;
  unsigned value;
  const char* simulated_meaning;  // as focus-sim fills the field
};

std::array<InfoField, 11> info_fields(const SysInfo& info) {
  return {{
      {"info1", info.info1, "laser on (1) or off (0)"},
      {"info2", info.info2, "clock word 1"},
      {"info3", info.info3, "laser power"},
      {"info4", info.info4, "lift position"},
      {"info5", info.info5, "calibration mode (1 on)"},
      {"info6", info.info6, "firmware version, major"},
      {"info7", info.info7, "clock word 2"},
      {"info8", info.info8, "firmware version, minor"},
      {"info9", info.info9, "flags: 1 trigger armed, 2 calibration saved"},
      {"info10", info.info10, "clock word 3"},
      {"info11", info.info11, "clock word 4"},
  }};
}

}  // namespace

std::string describe_result(const QueryResult& result) {
  return kind_name(result.kind) + ", status " + std::to_string(result.status) + ", code " +
         std::to_string(result.code) + ", value " + std::to_string(result.value);
}

std::string describe_simulated_info(const SysInfo& info) {
  std::string text = std::string(info.info1 ? "laser on" : "laser off") + ", power " +
                     std::to_string(info.info3) + ", lift " + std::to_string(info.info4) + ", calibration " +
                     (info.info5 ? "on" : "off") + ", firmware " + std::to_string(info.info6) + "." +
                     std::to_string(info.info8) + ", flags " + std::to_string(info.info9) + ", clock " +
                     std::to_string(info.info2) + " " + std::to_string(info.info7) + " " +
                     std::to_string(info.info10) + " " + std::to_string(info.info11);
  return text;
}

Json result_json(const QueryResult& result) {
  Json json = Json::object();
  json["kind"] = result.kind;
  json["status"] = result.status;
  json["code"] = result.code;
  json["value"] = static_cast<std::uint16_t>(result.value);  // a copy: the field is packed
  return json;
}

Json info_json(const SysInfo& info) {
  Json json = Json::object();
  for (const InfoField& field : info_fields(info)) json[field.name] = field.value;
  return json;
}

Json call_json(const CallReport& report, Json json) {
  json["command"] = report.command;
  json["call"] = report.call;
  json["status"] = report.status;
  json["status_name"] = focus_status_name(report.status);
  json["ok"] = report.status == FOCUS_OK;
  json["elapsed_ms"] = static_cast<std::int64_t>(report.elapsed_ms);
  json["error"] = report.error;
  if (report.result) json["result"] = result_json(*report.result);
  if (report.info) json["info"] = info_json(*report.info);
  if (report.line) {
    const LineCounts& c = *report.line;
    Json line = Json::object();
    line["bytes"] = static_cast<std::int64_t>(c.bytes);
    line["frames"] = static_cast<std::int64_t>(c.frames + c.bad_crc);
    line["bad_crc"] = static_cast<std::int64_t>(c.bad_crc);
    line["stray_bytes"] = static_cast<std::int64_t>(c.stray);
    line["echoed"] = static_cast<std::int64_t>(c.echoed);
    json["line"] = line;
    json["diagnosis"] = diagnose_timeout(c);
  }
  return json;
}

Json Reporter::object() const {
  Json json = Json::object();
  if (!device_.empty()) json["device"] = device_;
  return json;
}

void Reporter::call(const CallReport& report) const {
  if (json_) {
    std::printf("%s\n", json_line(call_json(report, object())).c_str());
    std::fflush(stdout);
    return;
  }
  std::printf("%s: %s (%d) in %llu ms%s\n", report.call.c_str(), focus_status_name(report.status),
              report.status, static_cast<unsigned long long>(report.elapsed_ms), origin());
  if (report.status != FOCUS_OK) {
    std::printf("  %s%s%s\n", std::string(status_meaning(report.status)).c_str(),
                report.error.empty() ? "" : ": ", report.error.c_str());
  }
  if (report.line) std::printf("  %s", diagnose_timeout(*report.line).c_str());
  if (report.result) {
    const QueryResult& r = *report.result;
    std::printf("  kind    %u (%s)\n  status  %u\n  code    %u\n  value   %u\n", r.kind,
                kind_name(r.kind).c_str(), r.status, r.code, r.value);
  }
  if (report.info) {
    for (const InfoField& field : info_fields(*report.info)) {
      if (simulated_) {
        std::printf("  %-7s %6u   %s\n", field.name, field.value, field.simulated_meaning);
      } else {
        std::printf("  %-7s %6u\n", field.name, field.value);
      }
    }
  }
  std::fflush(stdout);
}

void Reporter::open_failure(const std::string& command, const std::string& port,
                            const OpenFailure& given) const {
  OpenFailure failure = given;
  failure.hint += "; serial ports found: " + found_port_names(list_serial_ports()) + " (focusctl ports)";
  if (json_) {
    Json json = object();
    json["command"] = command;
    json["call"] = "focus_init(\"" + port + "\")";
    json["status"] = nullptr;
    json["ok"] = false;
    json["error"] = "cannot open " + port + ": " + failure.reason;
    json["hint"] = failure.hint;
    std::printf("%s\n", json_line(json).c_str());
    std::fflush(stdout);
  }
  std::fprintf(stderr, "focusctl: cannot open %s: %s\n  %s\n", port.c_str(), failure.reason.c_str(),
               failure.hint.c_str());
}

}  // namespace focus::ctl
