// Running one device subcommand: its arguments checked first, then the
// connection opened, the call made and reported, the connection closed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "device_commands.h"
#include "device_line.h"
#include "invocation.h"
#include "monitor.h"
#include "reports.h"

namespace focus::ctl {

struct PreparedCommand {
  enum class Kind { init, simple, single_focus, query, sys_info, monitor, demo };
  Kind kind = Kind::init;
  const SimpleCommand* simple = nullptr;
  Values values;
  std::optional<std::uint32_t> timeout_ms;  // single-focus --timeout
  MonitorOptions monitor;
};

// False, with `error` set, for an unknown command or bad arguments; nothing
// is opened before the arguments are known to be good.
bool prepare_command(const Invocation& invocation, PreparedCommand& out, std::string& error);

// Opens the port, runs the command and returns focusctl's exit status.
int run_prepared(const PreparedCommand& command, const Invocation& invocation, const DeviceLine& line,
                 const Reporter& reporter);

// Whether the connection's message belongs to this call: only some calls
// store one, so after the others it would be an older call's.
bool call_stores_message(bool single_focus, std::int32_t status);

}  // namespace focus::ctl
