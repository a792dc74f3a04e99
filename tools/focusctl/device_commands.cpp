#include "device_commands.h"

#include <charconv>

#include "protocol/command_codes.h"
#include "protocol/command_table.h"

namespace focus::ctl {

namespace {

namespace codes = focus::protocol;

int arg(const Values& values, std::size_t i) {
  return static_cast<int>(values[i]);
}

// focusctl's part of each simple command: what the usage says, how it calls
// the export, whether a result follows. Name, export and arguments come
// from the command table.
struct CommandCall {
  std::uint8_t code;
  std::string_view summary;
  std::int32_t (*call)(DeviceConnection* dev, const Values& values);
  bool collects_result = false;
};

const CommandCall kCalls[] = {
    {codes::kContinuousFocus, "start continuous focusing (results: query, monitor)",
     [](DeviceConnection* d, const Values&) { return focus_continuous_focus(d); }},
    {codes::kCalibMode, "enter calibration mode",
     [](DeviceConnection* d, const Values&) { return focus_calib_mode(d); }},
    {codes::kCalibMove, "calibration move to X (0-255), Y (0-65535)",
     [](DeviceConnection* d, const Values& v) { return focus_calib_move(d, arg(v, 0), arg(v, 1)); }},
    {codes::kCalibSave, "save the calibration",
     [](DeviceConnection* d, const Values&) { return focus_calib_save(d); }},
    {codes::kLaserOn, "switch the laser on (N 0-255)",
     [](DeviceConnection* d, const Values& v) { return focus_laser_on(d, arg(v, 0)); }},
    {codes::kLaserOff, "switch the laser off",
     [](DeviceConnection* d, const Values&) { return focus_laser_off(d); }},
    {codes::kLaserPower, "set the laser power (N 0-255)",
     [](DeviceConnection* d, const Values& v) { return focus_laser_power(d, arg(v, 0)); }},
    {codes::kSingleRange, "measure the range once and show the result",
     [](DeviceConnection* d, const Values&) { return focus_single_range(d); }, true},
    {codes::kContinuousRange, "start continuous ranging (results: query, monitor)",
     [](DeviceConnection* d, const Values&) { return focus_continuous_range(d); }},
    {codes::kLiftControl, "move the lift (N 0-255)",
     [](DeviceConnection* d, const Values& v) { return focus_lift_control(d, arg(v, 0)); }},
    {codes::kExtTriggerSet, "arm the external trigger",
     [](DeviceConnection* d, const Values&) { return focus_ext_trigger_set(d); }},
    {codes::kExtTriggerFire, "fire the external trigger and show the result",
     [](DeviceConnection* d, const Values&) { return focus_ext_trigger_fire(d); }, true},
    {codes::kAutoDescend, "automatic descent",
     [](DeviceConnection* d, const Values&) { return focus_auto_descend(d); }},
    {codes::kFixedCycle, "run the fixed cycle X, Y (0-65535)",
     [](DeviceConnection* d, const Values& v) { return focus_fixed_cycle(d, arg(v, 0), arg(v, 1)); }},
    {codes::kSyncTimeSet, "set the device clock to four 16-bit words",
     [](DeviceConnection* d, const Values& v) {
       const SyncTime time{static_cast<std::uint16_t>(v[0]), static_cast<std::uint16_t>(v[1]),
                           static_cast<std::uint16_t>(v[2]), static_cast<std::uint16_t>(v[3])};
       return focus_sync_time_set(d, &time);
     }},
    {codes::kSyncTimeGet, "ask for the device clock (only the ack comes back)",
     [](DeviceConnection* d, const Values&) { return focus_sync_time_get(d); }},
    {codes::kPowerOff, "power the device off",
     [](DeviceConnection* d, const Values&) { return focus_power_off(d); }},
};

std::vector<ValueArg> value_args(const protocol::CommandSpec& row) {
  std::vector<ValueArg> args;
  for (const protocol::PayloadField& field : row.payload) {
    if (field.kind == protocol::PayloadField::byte) args.push_back({field.name, 255});
    if (field.kind == protocol::PayloadField::word) args.push_back({field.name, 65535});
  }
  return args;
}

// In the order of the command table.
std::vector<SimpleCommand> make_simple_commands() {
  std::vector<SimpleCommand> commands;
  for (const protocol::CommandSpec& row : protocol::kCommandTable) {
    for (const CommandCall& call : kCalls) {
      if (call.code != row.code) continue;
      commands.push_back(
          {row.name, row.export_name, value_args(row), call.summary, call.call, call.collects_result});
    }
  }
  return commands;
}

}  // namespace

const std::vector<SimpleCommand>& simple_commands() {
  static const std::vector<SimpleCommand> commands = make_simple_commands();
  return commands;
}

const SimpleCommand* find_simple_command(std::string_view name) {
  for (const SimpleCommand& command : simple_commands()) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

bool parse_uint(std::string_view text, std::uint32_t max, std::uint32_t& out) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint64_t value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || failure != std::errc{} || end != text.data() + text.size() || value > max) return false;
  out = static_cast<std::uint32_t>(value);
  return true;
}

bool parse_values(std::string_view command, const std::vector<ValueArg>& wanted,
                  const std::vector<std::string>& args, Values& out, std::string& error) {
  std::string synopsis(command);
  for (const ValueArg& arg : wanted) synopsis.append(" ").append(arg.name);
  if (args.size() != wanted.size()) {
    error = std::string(command) + " takes " + std::to_string(wanted.size()) + " argument" +
            (wanted.size() == 1 ? "" : "s") + ", got " + std::to_string(args.size()) + " (" + synopsis + ")";
    return false;
  }
  out.clear();
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    std::uint32_t value = 0;
    if (!parse_uint(args[i], wanted[i].max, value)) {
      error = std::string(command) + ": " + std::string(wanted[i].name) +
              " must be a whole number from 0 to " + std::to_string(wanted[i].max) + ", not \"" + args[i] +
              "\"";
      return false;
    }
    out.push_back(value);
  }
  return true;
}

std::string call_text(std::string_view export_name, const Values& values) {
  std::string text(export_name);
  text += "(";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) text += ", ";
    text += std::to_string(values[i]);
  }
  return text + ")";
}

std::vector<DeviceCommandHelp> device_command_help() {
  std::vector<DeviceCommandHelp> help = {
      {"init", "open the port and close it again"},
      {"single-focus [--timeout MS]", "focus once and wait for the outcome (5000 ms; 0 waits without limit)"},
  };
  for (const SimpleCommand& command : simple_commands()) {
    std::string synopsis(command.name);
    for (const ValueArg& arg : command.args) synopsis.append(" ").append(arg.name);
    help.push_back({synopsis, std::string(command.summary)});
  }
  help.push_back({"query", "collect one focus or range result the device has sent"});
  help.push_back({"sys-info", "read the system information"});
  help.push_back(
      {"monitor [--range] [--count N]", "start continuous focus (or range), print results until Ctrl-C"});
  help.push_back({"demo", "a guided tour: every operation, with a table of outcomes"});
  return help;
}

}  // namespace focus::ctl
