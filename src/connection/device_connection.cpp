#include "connection/device_connection.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include "connection/timeout_profiles.h"
#include "focus.h"

namespace focus::connection {

DeviceConnection* open_connection(platform::SerialPlatform& line, const char* name) {
  if (name == nullptr) {
    return nullptr;
  }
  auto* connection = new (std::nothrow) DeviceConnection(line);
  if (connection == nullptr) {
    return nullptr;
  }
  try {
    connection->error_text.reserve(kMessageCapacity);
  } catch (...) {
    delete connection;
    return nullptr;
  }

  connection->port = line.open_port(name);
  if (connection->port == platform::kInvalidPort) {
    const int reason = errno;
    // snprintf truncates: a long name cannot overrun the message.
    char message[kMessageCapacity];
    std::snprintf(message, sizeof message, "打开串口失败: %s", name);
    set_error(*connection, message);
    delete connection;
    errno = reason;
    return nullptr;
  }

  // A name that opens but is no serial line (a file, /dev/null, a fifo) has
  // no line settings. Refuse it before anything is written to it.
  platform::LineSettings settings;
  if (!line.get_line_settings(connection->port, settings)) {
    const int reason = errno;
    line.close_port(connection->port);
    delete connection;
    errno = reason;
    return nullptr;
  }
  settings.baud_rate = 115200;
  settings.byte_size = 8;
  settings.parity = platform::kNoParity;
  settings.stop_bits = platform::kOneStopBit;
  line.set_line_settings(connection->port, settings);
  line.set_timeouts(connection->port, kStandingTimeouts);
  return connection;
}

void close_connection(DeviceConnection* connection) {
  if (connection == nullptr) {
    return;
  }
  if (connection->port != platform::kInvalidPort) {
    connection->platform->close_port(connection->port);
  }
  delete connection;
}

void set_error(DeviceConnection& connection, const char* message) {
  connection.error_text.assign(message);
}

}  // namespace focus::connection

extern "C" {

FOCUS_API DeviceConnection* FOCUS_CALL focus_init(const char* port_name) {
  try {
    return focus::connection::open_connection(focus::platform::system_platform(), port_name);
  } catch (...) {
    errno = ENOMEM;
    return nullptr;
  }
}

FOCUS_API void FOCUS_CALL focus_close(DeviceConnection* dev) {
  focus::connection::close_connection(dev);
}

FOCUS_API const char* FOCUS_CALL focus_get_error(DeviceConnection* dev) {
  return dev == nullptr ? "null handle" : dev->error_text.c_str();
}

FOCUS_API int32_t FOCUS_CALL focus_set_wait_mode(DeviceConnection* dev, uint32_t mode) {
  if (dev == nullptr) {
    return FOCUS_ERR_ARG;
  }
  switch (mode) {
    case FOCUS_WAIT_PACED: dev->wait_mode = focus::connection::WaitMode::paced; return FOCUS_OK;
    case FOCUS_WAIT_PROMPT: dev->wait_mode = focus::connection::WaitMode::prompt; return FOCUS_OK;
    default: return FOCUS_ERR_ARG;
  }
}

}  // extern "C"
