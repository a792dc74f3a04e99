// Every command the host sends, in one table: its code, its name on
// focusctl's command line, the export that sends it and the payload that
// export sends. The command codes (command_codes.h), the library's
// requests, focusctl's subcommands and the catalogue are read from it, and
// the simulator judges a request's length by it. A new command is one row
// here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/little_endian.h"

namespace focus::protocol {

// One field of a request payload.
struct PayloadField {
  enum Kind : std::uint8_t {
    none,  // past the last field
    flag,  // the constant 0x01 that opens most requests; the device does not read it
    byte,  // a value, the low 8 bits of what the caller gives
    word,  // a value, 16 bits, low byte first
  };
  Kind kind = none;
  std::string_view name;  // a value's name, as focusctl's usage shows it
};

inline constexpr std::size_t kMaxPayloadFields = 5;
using PayloadShape = std::array<PayloadField, kMaxPayloadFields>;

struct CommandSpec {
  std::uint8_t code;
  std::string_view name;         // kebab case, as focusctl spells it
  std::string_view export_name;  // the library function that sends it
  PayloadShape payload;

  constexpr std::size_t value_count() const {
    std::size_t count = 0;
    for (const PayloadField& field : payload)
      count += field.kind == PayloadField::byte || field.kind == PayloadField::word;
    return count;
  }
  constexpr std::size_t payload_size() const {
    std::size_t size = 0;
    for (const PayloadField& field : payload) size += field_size(field);
    return size;
  }
  // The bytes the device reads: up to the end of the last value; none for
  // a request that carries only the flag.
  constexpr std::size_t bytes_read() const {
    std::size_t size = 0;
    std::size_t read = 0;
    for (const PayloadField& field : payload) {
      size += field_size(field);
      if (field.kind == PayloadField::byte || field.kind == PayloadField::word) read = size;
    }
    return read;
  }

 private:
  static constexpr std::size_t field_size(const PayloadField& field) {
    return field.kind == PayloadField::word ? 2 : field.kind == PayloadField::none ? 0 : 1;
  }
};

namespace shape {
inline constexpr PayloadField kFlag{PayloadField::flag, {}};
constexpr PayloadField byte(std::string_view name) {
  return {PayloadField::byte, name};
}
constexpr PayloadField word(std::string_view name) {
  return {PayloadField::word, name};
}
}  // namespace shape

// clang-format off
inline constexpr std::array<CommandSpec, 19> kCommandTable{{
    {0xA1, "single-focus",     "focus_single_focus",     {shape::kFlag}},
    {0xA2, "continuous-focus", "focus_continuous_focus", {shape::kFlag}},
    {0xA3, "calib-mode",       "focus_calib_mode",       {shape::kFlag}},
    {0xA4, "calib-move",       "focus_calib_move",       {shape::byte("X"), shape::word("Y")}},
    {0xA5, "calib-save",       "focus_calib_save",       {shape::kFlag}},
    {0xA6, "laser-on",         "focus_laser_on",         {shape::kFlag, shape::byte("N")}},
    {0xA7, "laser-off",        "focus_laser_off",        {shape::kFlag}},
    {0xA8, "laser-power",      "focus_laser_power",      {shape::kFlag, shape::byte("N")}},
    {0xA9, "single-range",     "focus_single_range",     {shape::kFlag}},
    {0xAA, "continuous-range", "focus_continuous_range", {shape::kFlag}},
    {0xAB, "lift-control",     "focus_lift_control",     {shape::byte("N")}},
    {0xAC, "ext-trigger-set",  "focus_ext_trigger_set",  {shape::kFlag}},
    {0xAD, "ext-trigger-fire", "focus_ext_trigger_fire", {shape::kFlag}},
    {0xC1, "auto-descend",     "focus_auto_descend",     {shape::kFlag}},
    {0xC2, "fixed-cycle",      "focus_fixed_cycle",      {shape::kFlag, shape::word("X"), shape::word("Y")}},
    {0xC6, "sync-time-set",    "focus_sync_time_set",
     {shape::kFlag, shape::word("W1"), shape::word("W2"), shape::word("W3"), shape::word("W4")}},
    {0xC7, "sync-time-get",    "focus_sync_time_get",    {shape::kFlag}},
    {0xD1, "power-off",        "focus_power_off",        {shape::kFlag}},
    {0xF5, "sys-info",         "focus_read_sys_info",    {shape::kFlag}},
}};
// clang-format on

// The index of a code's or a name's row; kNoCommand when no command has it.
// Constants are found by index: GCC's UBSan instrumentation turns a
// comparison of a table row's address with nullptr into a non-constant.
inline constexpr std::size_t kNoCommand = kCommandTable.size();
constexpr std::size_t command_index(std::uint8_t code) {
  for (std::size_t i = 0; i < kCommandTable.size(); ++i) {
    if (kCommandTable[i].code == code) return i;
  }
  return kNoCommand;
}
constexpr std::size_t command_index(std::string_view name) {
  for (std::size_t i = 0; i < kCommandTable.size(); ++i) {
    if (kCommandTable[i].name == name) return i;
  }
  return kNoCommand;
}

// The row of a code or a name; nullptr when no command has it.
constexpr const CommandSpec* find_command_spec(std::uint8_t code) {
  const std::size_t index = command_index(code);
  return index == kNoCommand ? nullptr : &kCommandTable[index];
}
constexpr const CommandSpec* find_command_spec(std::string_view name) {
  const std::size_t index = command_index(name);
  return index == kNoCommand ? nullptr : &kCommandTable[index];
}

// The code of a named command, for constants: a name not in the table does
// not compile.
consteval std::uint8_t command_code(std::string_view name) {
  const std::size_t index = command_index(name);
  if (index == kNoCommand) throw "no command by this name";
  return kCommandTable[index].code;
}

// A request's payload as the table shapes it, from the caller's values in
// order; at most 1 + 4 x 2 bytes. A code not in the table, or a number of
// values other than the table's, does not compile.
struct RequestPayload {
  std::array<std::uint8_t, 9> bytes{};
  std::size_t size = 0;
};
template <std::uint8_t Code, class... Values>
constexpr RequestPayload request_payload(Values... values) {
  constexpr std::size_t index = command_index(Code);
  static_assert(index != kNoCommand, "a command of the table");
  constexpr const CommandSpec& row = kCommandTable[index];
  static_assert(row.value_count() == sizeof...(Values), "as many values as the table gives the command");
  const std::array<int, sizeof...(Values)> given{static_cast<int>(values)...};
  RequestPayload out;
  std::size_t next_value = 0;
  for (const PayloadField& field : row.payload) {
    switch (field.kind) {
      case PayloadField::none: break;
      case PayloadField::flag: out.bytes[out.size++] = 0x01; break;
      case PayloadField::byte:
        out.bytes[out.size++] = static_cast<std::uint8_t>(given[next_value++] & 0xFF);
        break;
      case PayloadField::word: {
        const auto value = static_cast<std::uint16_t>(given[next_value++] & 0xFFFF);
        out.bytes[out.size++] = low_byte(value);
        out.bytes[out.size++] = high_byte(value);
        break;
      }
    }
  }
  return out;
}

}  // namespace focus::protocol
