#include "exchange/exchange.h"

#include "protocol/frame_receiver.h"

namespace focus::exchange {

std::int32_t send_command(DeviceConnection& connection, std::uint8_t command, const std::uint8_t* payload,
                          std::size_t size) {
  if (connection.port == platform::kInvalidPort) {
    connection::set_error(connection, "串口未打开");
    return FOCUS_ERR_NOT_OPEN;
  }
  // A frame states its payload length in one byte; no request of the
  // library is larger, and a wrong length byte would mislead the device.
  if (size > 255 || (payload == nullptr && size != 0)) {
    return FOCUS_ERR_ARG;
  }
  const protocol::Bytes bytes = protocol::encode_frame(protocol::make_host_frame(command, payload, size));

  connection.received.clear();
  connection.platform->purge_received(connection.port);
  connection.driver_may_hold_more = false;
  std::uint32_t written = 0;
  connection.platform->write(connection.port, bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                             written);
  if (written != bytes.size()) {
    connection::set_error(connection, "串口写入失败");
    return FOCUS_ERR_WRITE;
  }
  return static_cast<std::int32_t>(written);
}

void read_into_receiver(DeviceConnection& connection, std::uint32_t max_bytes) {
  protocol::FrameReceiver& received = connection.received;
  const auto size = static_cast<std::uint32_t>(max_bytes < received.room() ? max_bytes : received.room());
  std::uint32_t count = 0;
  const bool read = connection.platform->read(connection.port, received.free_space(), size, count);
  if (read && count > 0) {
    received.commit(count < size ? count : size);
  }
  connection.driver_may_hold_more = read && size != 0 && count >= size;
}

}  // namespace focus::exchange
