// The device subcommands that send one command and wait for its
// acknowledgement, and the parsing of their value arguments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "focus.h"

namespace focus::ctl {

using Values = std::vector<std::uint32_t>;

struct ValueArg {
  std::string_view name;
  std::uint32_t max;  // the values the library sends whole: 255 or 65535
};

struct SimpleCommand {
  std::string_view name;
  std::string_view export_name;
  std::vector<ValueArg> args;
  std::string_view summary;
  std::int32_t (*call)(DeviceConnection* dev, const Values& values);
  // The device sends a result behind the acknowledgement: collect it with
  // focus_query_result and show it.
  bool collects_result = false;
};

const std::vector<SimpleCommand>& simple_commands();
const SimpleCommand* find_simple_command(std::string_view name);

// A whole number, decimal or 0x hex, from 0 to `max`.
bool parse_uint(std::string_view text, std::uint32_t max, std::uint32_t& out);

// The arguments as `wanted` requires them, in order and in range.
bool parse_values(std::string_view command, const std::vector<ValueArg>& wanted,
                  const std::vector<std::string>& args, Values& out, std::string& error);

// "focus_laser_on(80)".
std::string call_text(std::string_view export_name, const Values& values);

struct DeviceCommandHelp {
  std::string synopsis;
  std::string summary;
};
// Every device command for the usage text, the special ones included.
std::vector<DeviceCommandHelp> device_command_help();

}  // namespace focus::ctl
