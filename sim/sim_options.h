// What focus-sim (and `focusctl --sim`) can be told on its command line.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace focus::sim {

// How the device behaves, faults included.
struct DeviceOptions {
  std::uint32_t ack_delay_ms = 2;
  std::uint32_t focus_ms = 300;
  std::uint32_t rate_hz = 20;
  std::bitset<256> refuse{};                // acknowledged with status 0
  std::bitset<256> silent{};                // not answered at all
  std::optional<std::uint8_t> fail_code{};  // single focus completes with status 0 and this code
};

// What happens to the device's bytes on their way to the host.
struct LineOptions {
  double noise = 0.0;    // probability of stray bytes in front of a frame
  bool split = false;    // every reply in random pieces with short pauses
  double corrupt = 0.0;  // probability of one flipped bit in a reply
  bool echo = false;     // the host's bytes come back first (half-duplex adapter)
};

struct SimOptions {
  DeviceOptions device;
  LineOptions line;
  std::string link;  // symlink to the slave, "" for none
  std::string log;   // traffic log file, "-" for stderr, "" for none
  std::optional<std::uint64_t> replay_key;
};

enum class OptionParse { consumed, not_mine, error };

// Reads the simulator option at args[index] (and its value); on `consumed`
// index points past what was read. `error` says what is wrong on `error`.
OptionParse parse_sim_option(const std::vector<std::string>& args, std::size_t& index, SimOptions& options,
                             std::string& error);

// The options with one line each, for usage texts.
const char* sim_options_help();

}  // namespace focus::sim
