// `focusctl demo`: a guided tour of every library function against the
// device, printed as a table of operation, status, time taken and result.
#pragma once

#include <string>

#include "reports.h"

namespace focus::ctl {

// Opens `port` itself (focus_init is one of the steps), in the prompt wait
// mode when `prompt` is set, and ends by powering the device off and
// closing; `shown_name` names the port in messages.
// Returns focusctl's exit status: 0 when every step succeeded, else the
// status of the first failure.
int run_demo(const std::string& port, const std::string& shown_name, bool prompt, const Reporter& reporter);

}  // namespace focus::ctl
