#include "sim_options.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

#include "command_catalog.h"

namespace focus::sim {

namespace {

template <class Number>
bool parse_number(std::string_view text, Number low, Number high, Number& out) {
  Number value{};
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc{} || end != text.data() + text.size() || value < low || value > high) return false;
  out = value;
  return true;
}

bool parse_probability(const std::string& text, double& out) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !(value >= 0.0 && value <= 1.0)) return false;
  out = value;
  return true;
}

// "A7", "0xA7", "laser-off", or several of them separated by commas.
bool parse_command_set(const std::string& text, std::bitset<256>& set) {
  std::size_t start = 0;
  bool any = false;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view item(text.data() + start, end - start);
    start = end + 1;
    if (item.empty()) continue;
    const std::optional<std::uint8_t> code = text::parse_command(item);
    if (!code) return false;
    set.set(*code);
    any = true;
  }
  return any;
}

}  // namespace

OptionParse parse_sim_option(const std::vector<std::string>& args, std::size_t& index, SimOptions& options,
                             std::string& error) {
  const std::string& name = args[index];
  if (name == "--split") {
    options.line.split = true;
    ++index;
    return OptionParse::consumed;
  }
  if (name == "--echo") {
    options.line.echo = true;
    ++index;
    return OptionParse::consumed;
  }
  static constexpr std::string_view kWithValue[] = {"--link",    "--ack-delay", "--focus-ms", "--rate",
                                                    "--refuse",  "--fail-code", "--silent",   "--noise",
                                                    "--corrupt", "--log",       "--replay"};
  bool known = false;
  for (std::string_view candidate : kWithValue) known = known || candidate == name;
  if (!known) return OptionParse::not_mine;
  if (index + 1 >= args.size()) {
    error = name + " needs a value";
    return OptionParse::error;
  }
  const std::string& value = args[index + 1];
  bool ok = true;
  std::string expected;
  if (name == "--link") {
    ok = !value.empty();
    options.link = value;
    expected = "a path";
  } else if (name == "--log") {
    ok = !value.empty();
    options.log = value;
    expected = "a file name or -";
  } else if (name == "--ack-delay") {
    ok = parse_number<std::uint32_t>(value, 0, 60000, options.device.ack_delay_ms);
    expected = "milliseconds, 0 to 60000";
  } else if (name == "--focus-ms") {
    ok = parse_number<std::uint32_t>(value, 0, 600000, options.device.focus_ms);
    expected = "milliseconds, 0 to 600000";
  } else if (name == "--rate") {
    ok = parse_number<std::uint32_t>(value, 1, 1000, options.device.rate_hz);
    expected = "results per second, 1 to 1000";
  } else if (name == "--refuse") {
    ok = parse_command_set(value, options.device.refuse);
    expected = "a command such as A7, 0xA7 or laser-off";
  } else if (name == "--silent") {
    ok = parse_command_set(value, options.device.silent);
    expected = "a command such as A7, 0xA7 or laser-off";
  } else if (name == "--fail-code") {
    std::uint32_t code = 0;
    ok = parse_number<std::uint32_t>(value, 0, 255, code);
    if (ok) options.device.fail_code = static_cast<std::uint8_t>(code);
    expected = "a device error code, 0 to 255";
  } else if (name == "--noise") {
    ok = parse_probability(value, options.line.noise);
    expected = "a probability, 0 to 1";
  } else if (name == "--corrupt") {
    ok = parse_probability(value, options.line.corrupt);
    expected = "a probability, 0 to 1";
  } else if (name == "--replay") {
    std::uint64_t replay_key = 0;
    ok = parse_number<std::uint64_t>(value, 0, UINT64_MAX, replay_key);
    if (ok) options.replay_key = replay_key;
    expected = "a whole number";
  }
  if (!ok) {
    error = name + " " + value + ": expected " + expected;
    return OptionParse::error;
  }
  index += 2;
  return OptionParse::consumed;
}

const char* sim_options_help() {
  return "  --link PATH      also reach the line through a symlink at PATH\n"
         "  --ack-delay MS   acknowledge each command after MS ms (default 2)\n"
         "  --focus-ms MS    a single focus completes MS ms after its ack (default 300)\n"
         "  --rate HZ        results per second of the continuous modes (default 20)\n"
         "  --refuse CMD     acknowledge CMD with status 0 (repeatable; A7, 0xA7 or laser-off)\n"
         "  --fail-code N    a single focus fails with device error code N\n"
         "  --silent CMD     never answer CMD (repeatable)\n"
         "  --noise P        stray bytes in front of a reply with probability P\n"
         "  --split          write every reply in random pieces with short pauses\n"
         "  --corrupt P      flip one bit of a reply with probability P\n"
         "  --echo           send every host byte back first, as a half-duplex adapter does\n"
         "  --log FILE|-     log every frame, both ways (- for stderr)\n"
         "  --replay N       repeat the random faults and readings of an earlier run\n";
}

}  // namespace focus::sim
