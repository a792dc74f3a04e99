#include "port_name.h"

#include <cctype>

namespace focus::ctl {

std::string windows_port_path(const std::string& name) {
  if (name.size() < 5) return name;
  const auto upper = [&name](std::size_t i) { return std::toupper(static_cast<unsigned char>(name[i])); };
  if (upper(0) != 'C' || upper(1) != 'O' || upper(2) != 'M' || name[3] == '0') return name;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return name;
  }
  return "\\\\.\\" + name;
}

std::string library_port_name(const std::string& name) {
#ifdef _WIN32
  return windows_port_path(name);
#else
  return name;
#endif
}

}  // namespace focus::ctl
