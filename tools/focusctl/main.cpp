// focusctl: every operation of the focus library from the command line,
// against a device on a serial port or the simulator in this process.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "device_line.h"
#include "device_session.h"
#include "invocation.h"
#include "offline.h"
#include "port_list.h"
#include "reports.h"
#include "status_codes.h"

namespace {

using namespace focus::ctl;

int usage_error(const std::string& message) {
  std::fprintf(stderr, "focusctl: %s\n%s\n", message.c_str(), usage_line().c_str());
  return kExitUsage;
}

int run(const std::vector<std::string>& args) {
  Invocation invocation;
  std::string error;
  if (!parse_invocation(args, invocation, error)) return usage_error(error);
  if (invocation.help || invocation.command == "help") {
    std::printf("%s", invocation.help_text.c_str());
    return kExitOk;
  }
  if (invocation.command == "encode") return run_encode(invocation.args, invocation.json);
  if (invocation.command == "decode") return run_decode(invocation.args, invocation.json);
  if (invocation.command == "ports") return run_ports(invocation.json);

  PreparedCommand command;
  if (!prepare_command(invocation, command, error)) return usage_error(error);
  int exit_code = kExitOk;
  const std::unique_ptr<DeviceLine> line = DeviceLine::reach(invocation, error, exit_code);
  if (!line) {
    std::fprintf(stderr, "focusctl: %s\n", error.c_str());
    if (exit_code == kExitUsage) std::fprintf(stderr, "%s\n", usage_line().c_str());
    return exit_code;
  }
  const Reporter reporter(invocation.json, line->simulated(), line->shown_name());
  return run_prepared(command, invocation, *line, reporter);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The library's messages are UTF-8.
  SetConsoleOutputCP(CP_UTF8);
#endif
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "focusctl: %s\n", failure.what());
  } catch (...) {
    std::fprintf(stderr, "focusctl: unexpected failure\n");
  }
  return kExitFailure;
}
