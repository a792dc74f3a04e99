// Why a port could not be opened, and what to do about it.
#pragma once

#include <string>

namespace focus::ctl {

// The operating system's error right after a failed open: errno, or
// GetLastError() on Windows.
int last_os_error();

struct OpenFailure {
  std::string reason;  // the system's own words
  std::string hint;    // the likely fix
};

OpenFailure diagnose_open_failure(const std::string& port, int os_error);

}  // namespace focus::ctl
