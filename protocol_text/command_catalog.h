// The device's commands as people name them: the rows of the command table
// (src/protocol/command_table.h), found by code or by name.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "protocol/command_table.h"

namespace focus::text {

using CommandInfo = protocol::CommandSpec;

std::span<const CommandInfo> command_catalog();

const CommandInfo* find_command(std::uint8_t code);
const CommandInfo* find_command(std::string_view name);

// A command given on a command line: hex ("0xA7", "A7", "a7") or a name
// ("laser-off").
std::optional<std::uint8_t> parse_command(std::string_view text);

}  // namespace focus::text
