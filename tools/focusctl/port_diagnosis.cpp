#include "port_diagnosis.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#endif

namespace focus::ctl {

namespace {

std::string not_a_serial_port(const std::string& port) {
  return port + " is not a serial port: give the name of a serial line, such as /dev/ttyUSB0, " +
         "/dev/ttyACM0 or COM3";
}

}  // namespace

#ifdef _WIN32

int last_os_error() {
  return static_cast<int>(::GetLastError());
}

OpenFailure diagnose_open_failure(const std::string& port, int os_error) {
  char text[256] = {0};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(os_error), 0, text, sizeof text, nullptr);
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) {
    reason.pop_back();
  }
  reason += " (error " + std::to_string(os_error) + ")";
  switch (os_error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return {reason, "no port is called " + port +
                          ": check the name under Ports (COM & LPT) in Device Manager, and that the "
                          "adapter is plugged in"};
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return {reason,
              port + " is in use: close the other program (terminal, another focusctl) that has it open"};
    // What GetCommState reports for a handle that is no serial line.
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_PARAMETER: return {reason, not_a_serial_port(port)};
    default: return {reason, "check the name, the cable and that no other program has " + port + " open"};
  }
}

#else

int last_os_error() {
  return errno;
}

OpenFailure diagnose_open_failure(const std::string& port, int os_error) {
  const std::string reason =
      std::string(std::strerror(os_error)) + " (errno " + std::to_string(os_error) + ")";
  switch (os_error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return {reason, "no port is called " + port +
                          ": check the name (ls /dev/ttyUSB* /dev/ttyACM* /dev/serial/by-id/) and that the "
                          "adapter is plugged in"};
    case EBUSY:
      return {reason,
              port + " is in use: close the other program (terminal, another focusctl) that has it open"};
    case EACCES:
    case EPERM:
      return {reason, "no permission for " + port +
                          ": add yourself to the dialout group (sudo usermod -aG dialout $USER) and log in "
                          "again"};
    case ENOTTY:
    case EISDIR:
    case EINVAL: return {reason, not_a_serial_port(port)};
    default: return {reason, "check the name, the cable and that no other program has " + port + " open"};
  }
}

#endif

}  // namespace focus::ctl
