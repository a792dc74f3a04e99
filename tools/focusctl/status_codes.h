// What the library's status codes mean to people, and the exit status of
// focusctl for each class of failure. Their names come from
// focus_status_name() in focus.h.
#pragma once

#include <cstdint>
#include <string_view>

namespace focus::ctl {

// focusctl's exit status.
enum ExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,     // anything else: decode found bad bytes, out of memory, ...
  kExitUsage = 2,       // bad arguments, or --sim where there is no simulator
  kExitCannotOpen = 3,  // the port (or the simulator's line) could not be opened
  kExitDevice = 4,      // the device refused the command or reported a failure
  kExitTimeout = 5,     // the device did not answer in time
  kExitWrite = 6,       // the request could not be written to the port
};

// What the status means, in a few words.
std::string_view status_meaning(std::int32_t status);
ExitCode exit_code_for(std::int32_t status);

}  // namespace focus::ctl
