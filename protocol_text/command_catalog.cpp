#include "command_catalog.h"

#include "hex_text.h"

namespace focus::text {

std::span<const CommandInfo> command_catalog() {
  return protocol::kCommandTable;
}

const CommandInfo* find_command(std::uint8_t code) {
  return protocol::find_command_spec(code);
}

const CommandInfo* find_command(std::string_view name) {
  return protocol::find_command_spec(name);
}

std::optional<std::uint8_t> parse_command(std::string_view text) {
  if (const CommandInfo* info = find_command(text)) return info->code;
  return parse_byte(text);
}

}  // namespace focus::text
