#include "request_capture.h"

#include <algorithm>

#include "connection/device_connection.h"
#include "platform/serial_platform.h"

namespace focus::ctl {

namespace {

// Keeps the first request and answers it with a refusal, which ends every
// exchange at once (a single focus with no time limit included); waits take
// no time.
class CaptureLine final : public platform::SerialPlatform {
 public:
  std::optional<protocol::Bytes> request;

  platform::PortHandle open_port(const char*) override { return 1; }
  bool get_line_settings(platform::PortHandle, platform::LineSettings&) override { return true; }
  bool set_line_settings(platform::PortHandle, const platform::LineSettings&) override { return true; }
  bool get_timeouts(platform::PortHandle, platform::SerialTimeouts&) override { return true; }
  bool set_timeouts(platform::PortHandle, const platform::SerialTimeouts&) override { return true; }
  bool purge_received(platform::PortHandle) override { return true; }
  bool read(platform::PortHandle, std::uint8_t* buffer, std::uint32_t size, std::uint32_t& count) override {
    count = static_cast<std::uint32_t>(std::min<std::size_t>(size, reply_.size()));
    std::copy_n(reply_.begin(), count, buffer);
    reply_.erase(reply_.begin(), reply_.begin() + count);
    return true;
  }
  bool write(platform::PortHandle, const std::uint8_t* data, std::uint32_t size,
             std::uint32_t& written) override {
    if (!request) request = protocol::Bytes(data, data + size);
    written = size;
    if (size >= 4) {
      protocol::Frame refusal;
      refusal.header = protocol::kHeader;
      refusal.direction = 0x02;
      refusal.command = data[3];
      refusal.payload = {0x01, 0x00, 0x00};  // an acknowledgement with status 0
      refusal.length = static_cast<std::uint8_t>(refusal.payload.size());
      reply_ = protocol::encode_frame(refusal);
    }
    return true;
  }
  bool close_port(platform::PortHandle) override { return true; }
  void sleep_ms(std::uint32_t ms) override { now_ += ms; }
  std::uint64_t tick_ms() override { return now_; }

 private:
  protocol::Bytes reply_;
  std::uint64_t now_ = 0;
};

}  // namespace

std::optional<protocol::Bytes> capture_request(const std::function<void(DeviceConnection*)>& call) {
  CaptureLine line;
  DeviceConnection* dev = connection::open_connection(line, "capture");
  if (dev == nullptr) return std::nullopt;
  call(dev);
  connection::close_connection(dev);
  return line.request;
}

}  // namespace focus::ctl
