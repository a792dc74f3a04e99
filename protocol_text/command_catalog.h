// The device's commands as people name them: one entry per command code,
// with the focusctl subcommand and the library export that sends it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace focus::text {

struct CommandInfo {
  std::uint8_t code;
  std::string_view name;         // kebab case, as focusctl spells it
  std::string_view export_name;  // the library function that sends it
};

std::span<const CommandInfo> command_catalog();

const CommandInfo* find_command(std::uint8_t code);
const CommandInfo* find_command(std::string_view name);

// A command given on a command line: hex ("0xA7", "A7", "a7") or a name
// ("laser-off").
std::optional<std::uint8_t> parse_command(std::string_view text);

}  // namespace focus::text
