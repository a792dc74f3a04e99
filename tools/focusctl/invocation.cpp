#include "invocation.h"

#include "device_commands.h"

namespace focus::ctl {

bool parse_invocation(const std::vector<std::string>& argv, Invocation& out, std::string& error) {
  bool sim_options_given = false;
  std::size_t i = 0;
  while (i < argv.size() && out.command.empty()) {
    const std::string& word = argv[i];
    if (word == "--json") {
      out.json = true;
      ++i;
    } else if (word == "--trace") {
      out.trace = true;
      ++i;
    } else if (word == "--help" || word == "-h") {
      out.help = true;
      ++i;
    } else if (word == "--port") {
      if (i + 1 >= argv.size() || argv[i + 1].empty()) {
        error = "--port needs a port name, such as /dev/ttyUSB0 or COM3";
        return false;
      }
      out.port = argv[i + 1];
      i += 2;
    } else if (word == "--sim") {
#ifdef _WIN32
      error = "the simulator needs Linux (a pseudo-terminal); on Windows give --port COMn";
      return false;
#else
      out.sim_requested = true;
      ++i;
#endif
    } else if (word.size() > 1 && word[0] == '-') {
#ifndef _WIN32
      switch (sim::parse_sim_option(argv, i, out.sim, error)) {
        case sim::OptionParse::consumed: sim_options_given = true; continue;
        case sim::OptionParse::error: return false;
        case sim::OptionParse::not_mine: break;
      }
#endif
      error = "unknown option " + word;
      return false;
    } else {
      out.command = word;
      ++i;
    }
  }
  for (; i < argv.size(); ++i) {
    if (argv[i] == "--json") {
      out.json = true;
    } else {
      out.args.push_back(argv[i]);
    }
  }
  if (!out.port.empty() && (out.sim_requested || sim_options_given)) {
    error = "--port and the simulator (--sim and its options) exclude each other";
    return false;
  }
  if (out.command.empty() && !out.help) {
    error = "no command given";
    return false;
  }
  return true;
}

bool is_offline(const std::string& command) {
  return command == "encode" || command == "decode" || command == "help" || command == "ports";
}

std::string usage_line() {
  return "usage: focusctl [--port NAME | --sim [SIM OPTIONS]] [--json] [--trace] COMMAND [ARGS]   (focusctl "
         "--help lists all)";
}

std::string full_usage() {
  std::string text =
      "usage: focusctl [--port NAME | --sim [SIM OPTIONS]] [--json] [--trace] COMMAND [ARGS]\n"
      "\n"
      "Drives a focus device through the library. --port names a serial port (/dev/ttyUSB0,\n"
      "/dev/serial/by-id/...; COM3 on Windows; `focusctl ports` lists them); --sim runs the\n"
      "commands against the simulator inside this process instead (Linux only). One of the two\n"
      "is needed. --json prints one JSON object per line instead of text. --trace prints every\n"
      "byte written and read on standard error as it happens, decoded, with !! on bad frames.\n"
      "\n"
      "Device commands (one per library function):\n";
  for (const DeviceCommandHelp& help : device_command_help()) {
    std::string left = "  " + help.synopsis;
    if (left.size() < 32) left.resize(32, ' ');
    text += left + " " + help.summary + "\n";
  }
  text +=
      "\n"
      "Offline (no device):\n"
      "  ports                          the serial ports of this machine and what identifies them\n"
      "  encode NAME [ARGS]             the request the library sends for device command NAME\n"
      "                                 with these arguments (encode laser-on 80)\n"
      "  encode CMD [BYTES...]          a raw host frame: command code CMD in hex (A7) with the\n"
      "                                 payload bytes given in hex\n"
      "  decode [HEX...]                frames found in the hex bytes (or standard input), each\n"
      "                                 field and whether its CRC matches\n"
      "\n"
      "Simulator options (Linux; with --sim):\n";
#ifndef _WIN32
  text += sim::sim_options_help();
#else
  text += "  (not available: the simulator needs Linux)\n";
#endif
  text +=
      "\n"
      "Exit status: 0 success; 1 other failure (decode found bad bytes, out of memory);\n"
      "2 usage; 3 the port cannot be opened; 4 the device refused or failed; 5 timeout;\n"
      "6 the request could not be written.\n";
  return text;
}

}  // namespace focus::ctl
