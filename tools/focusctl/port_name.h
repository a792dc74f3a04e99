// The name focusctl hands the library for a port the user named.
#pragma once

#include <string>

namespace focus::ctl {

// Windows reaches COM10 and above only through the device namespace, and
// the library takes names as given: "COM12" becomes "\\.\COM12". Any other
// name (COM1 to COM9, a name already prefixed, a path) is returned as is.
std::string windows_port_path(const std::string& name);

// The name for the library on the platform focusctl was built for.
std::string library_port_name(const std::string& name);

}  // namespace focus::ctl
