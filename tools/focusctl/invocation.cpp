#include "invocation.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "device_commands.h"
#include "focus.h"

#ifndef _WIN32
#include "sim_cli.h"
#endif

namespace focus::ctl {

namespace {

std::string version_text() {
#if defined(FOCUS_VERSION_MAJOR) && defined(FOCUS_VERSION_MINOR) && defined(FOCUS_VERSION_PATCH)
  return "focusctl " + std::to_string(FOCUS_VERSION_MAJOR) + "." + std::to_string(FOCUS_VERSION_MINOR) + "." +
         std::to_string(FOCUS_VERSION_PATCH);
#else
  return std::string("focusctl ") + FOCUS_PROJECT_VERSION;
#endif
}

// Edits (insert, delete, replace, swap neighbours) from one name to another.
std::size_t edit_distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] =
          std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// "singlefocus", "single_focus": the name people meant is "single-focus".
std::string without_dashes(std::string text) {
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '-' || c == '_'; }),
             text.end());
  return text;
}

// "unknown command "sysinfo"; did you mean sys-info?"
std::string unknown_command(const std::string& word, const CLI::App& app) {
  std::string best;
  std::size_t best_distance = 3;  // more edits than two: no suggestion
  for (const CLI::App* sub : app.get_subcommands({})) {
    const std::string& name = sub->get_name();
    const std::size_t distance = without_dashes(name) == without_dashes(word) ? 0 : edit_distance(word, name);
    if (distance < best_distance) {
      best_distance = distance;
      best = name;
    }
  }
  std::string message = "unknown command \"" + word + "\"";
  if (!best.empty()) message += "; did you mean " + best + "?";
  return message;
}

}  // namespace

bool parse_invocation(const std::vector<std::string>& argv, Invocation& out, std::string& error) {
  CLI::App app("Drives a focus device through the library, one subcommand per library function.", "focusctl");
  app.set_version_flag("--version", version_text());
  app.footer(
      "Give --port NAME (`focusctl ports` lists the ports) or --sim (the simulator inside this process, "
      "Linux only).\n"
      "Exit status: 0 success; 1 other failure (decode found bad bytes, out of memory); 2 usage; 3 the port "
      "cannot be opened; 4 the device refused or failed; 5 timeout; 6 the request could not be written.");
  app.add_option("--port", out.port,
                 "the serial port: /dev/ttyUSB0, /dev/serial/by-id/...; COM3 on Windows (`focusctl ports`)")
      ->type_name("NAME");
  app.add_flag("--sim", out.sim_requested, "the simulator inside this process instead of a port (Linux)");
  app.add_flag("--json", out.json, "one JSON object per line instead of text");
  app.add_flag("--prompt", out.prompt,
               "the library's prompt wait mode (focus_set_wait_mode) instead of the paced one");
  app.add_flag("--trace", out.trace,
               "every byte written and read, on stderr as it happens, decoded; !! on bad frames");
  bool sim_options_given = false;
#ifndef _WIN32
  sim::add_sim_options(app, out.sim, sim_options_given, "Simulator (with --sim)");
#endif

  // Each subcommand takes its words as they come; prepare_command checks
  // them, with the messages that say what each value may be.
  std::vector<std::string> words;
  std::string timeout, count, csv, plot;
  bool range = false;
  const auto add_device_command = [&](const std::string& name, const std::string& synopsis,
                                      const std::string& summary) {
    CLI::App* sub = app.add_subcommand(name, summary);
    sub->add_option("ARGS", words, synopsis)->expected(0, -1);
    sub->add_flag("--json", out.json, "one JSON object per line instead of text");
    return sub;
  };
  add_device_command("init", "", "open the port and close it again");
  add_device_command("single-focus", "",
                     "focus once and wait for the outcome (5000 ms; 0 waits without limit)")
      ->add_option("--timeout", timeout, "the limit in ms, 0 (no limit) to 4294967295")
      ->type_name("MS");
  for (const SimpleCommand& command : simple_commands()) {
    std::string synopsis;
    for (const ValueArg& arg : command.args) {
      synopsis +=
          (synopsis.empty() ? "" : " ") + std::string(arg.name) + " (0-" + std::to_string(arg.max) + ")";
    }
    add_device_command(std::string(command.name), synopsis, std::string(command.summary));
  }
  add_device_command("query", "", "collect one focus or range result the device has sent");
  add_device_command("sys-info", "", "read the system information");
  CLI::App* monitor = add_device_command(
      "monitor", "", "start continuous focus (or range) and show the results as they arrive, until Ctrl-C");
  monitor->add_flag("--range", range, "continuous range instead of continuous focus");
  monitor->add_option("--count", count, "stop after N results")->type_name("N");
  monitor->add_option("--csv", csv, "write one row per result to FILE")->type_name("FILE");
  monitor->add_option("--plot", plot, "draw the values over time into FILE.svg")->type_name("FILE.svg");
  add_device_command("demo", "", "a guided tour: every operation, with a table of outcomes");

  const auto add_offline_command = [&](const std::string& name, const std::string& summary) {
    CLI::App* sub = app.add_subcommand(name, summary);
    sub->prefix_command();  // the words as they come, hex and names alike
    return sub;
  };
  add_offline_command(
      "encode",
      "encode NAME [ARGS]: the request the library sends for device command NAME (encode laser-on "
      "80); encode CMD [BYTES...]: a raw host frame for hex code CMD with the payload in hex");
  add_offline_command(
      "decode",
      "decode [HEX...]: the frames in the hex bytes (or standard input), each field and whether "
      "its CRC matches");
  CLI::App* ports = app.add_subcommand("ports", "the serial ports of this machine and what identifies them");
  ports->add_flag("--json", out.json, "one JSON object instead of text");
  app.add_subcommand("help", "this text");
  app.require_subcommand(0, 1);

  std::vector<std::string> reversed(argv.rbegin(), argv.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::Success& done) {
    out.help = true;
    out.help_text = dynamic_cast<const CLI::CallForVersion*>(&done) != nullptr ? version_text() + "\n"
                    : app.get_subcommands().empty()                            ? app.help()
                                                    : app.get_subcommands().front()->help();
    return true;
  } catch (const CLI::ExtrasError& failure) {
    const std::vector<std::string> extras = app.remaining();
    const std::string first = extras.empty() ? "" : extras.front();
    if (app.get_subcommands().empty() && !first.empty() && first[0] != '-') {
      error = unknown_command(first, app);
    } else if (!first.empty() && first[0] == '-') {
      error = "unknown option " + first;
    } else {
      error = failure.what();
    }
    return false;
  } catch (const CLI::ParseError& failure) {
    error = failure.what();
    if (error.rfind("--port", 0) == 0) error = "--port needs a port name, such as /dev/ttyUSB0 or COM3";
    return false;
  }

  if (app.get_subcommands().empty()) {
    error = "no command given";
    return false;
  }
  const CLI::App& chosen = *app.get_subcommands().front();
  out.command = chosen.get_name();
  if (out.command == "help") {
    out.help = true;
    out.help_text = app.help();
    return true;
  }
  if (chosen.get_prefix_command()) {
    for (const std::string& word : chosen.remaining()) {
      if (word == "--json") {
        out.json = true;
      } else {
        out.args.push_back(word);
      }
    }
  } else {
    out.args = words;
  }
  // The subcommand's own options, back among its words.
  const auto given = [&](const char* option) {
    return chosen.get_option_no_throw(option) != nullptr && chosen.get_option_no_throw(option)->count() > 0;
  };
  if (given("--timeout")) out.args.insert(out.args.end(), {"--timeout", timeout});
  if (range) out.args.push_back("--range");
  if (given("--count")) out.args.insert(out.args.end(), {"--count", count});
  if (given("--csv")) out.args.insert(out.args.end(), {"--csv", csv});
  if (given("--plot")) out.args.insert(out.args.end(), {"--plot", plot});

  if (app.count("--port") > 0 && out.port.empty()) {
    error = "--port needs a port name, such as /dev/ttyUSB0 or COM3";
    return false;
  }
#ifdef _WIN32
  if (out.sim_requested) {
    error = "the simulator needs Linux (a pseudo-terminal); on Windows give --port COMn";
    return false;
  }
#endif
  if (!out.port.empty() && (out.sim_requested || sim_options_given)) {
    error = "--port and the simulator (--sim and its options) exclude each other";
    return false;
  }
  return true;
}

std::string usage_line() {
  return "usage: focusctl [--port NAME | --sim [SIM OPTIONS]] [--json] [--trace] COMMAND [ARGS]   (focusctl "
         "--help lists all; focusctl COMMAND --help for one)";
}

}  // namespace focus::ctl
