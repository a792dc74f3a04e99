#include "sim_cli.h"

namespace focus::sim {

namespace {

struct OptionHelp {
  const char* name;
  const char* value;  // nullptr for a flag
  const char* help;
};

constexpr OptionHelp kOptions[] = {
    {"--link", "PATH", "also reach the line through a symlink at PATH"},
    {"--ack-delay", "MS", "acknowledge each command after MS ms (default 2)"},
    {"--focus-ms", "MS", "a single focus completes MS ms after its ack (default 300)"},
    {"--rate", "HZ", "results per second of the continuous modes (default 20)"},
    {"--refuse", "CMD", "acknowledge CMD with status 0 (repeatable; A7, 0xA7 or laser-off)"},
    {"--fail-code", "N", "a single focus fails with device error code N"},
    {"--silent", "CMD", "never answer CMD (repeatable)"},
    {"--noise", "P", "stray bytes in front of a reply with probability P"},
    {"--split", nullptr, "write every reply in random pieces with short pauses"},
    {"--corrupt", "P", "flip one bit of a reply with probability P"},
    {"--echo", nullptr, "send every host byte back first, as a half-duplex adapter does"},
    {"--log", "FILE|-", "log every frame, both ways (- for stderr)"},
    {"--replay", "N", "repeat the random faults and readings of an earlier run"},
};

// One option as parse_sim_option reads it; its message on a bad value.
void apply(SimOptions& options, std::vector<std::string> args) {
  std::size_t index = 0;
  std::string error;
  if (parse_sim_option(args, index, options, error) != OptionParse::consumed) {
    throw CLI::ValidationError(error);
  }
}

}  // namespace

void add_sim_options(CLI::App& app, SimOptions& options, bool& given, const std::string& group) {
  for (const OptionHelp& option : kOptions) {
    const std::string name = option.name;
    if (option.value == nullptr) {
      app.add_flag_callback(
             name,
             [&options, &given, name] {
               given = true;
               apply(options, {name});
             },
             option.help)
          ->group(group);
      continue;
    }
    app.add_option_function<std::vector<std::string>>(
           name,
           [&options, &given, name](const std::vector<std::string>& values) {
             given = true;
             for (const std::string& value : values) apply(options, {name, value});
           },
           option.help)
        ->allow_extra_args(false)
        ->type_name(option.value)
        ->group(group);
  }
}

}  // namespace focus::sim
