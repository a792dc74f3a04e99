// The platform seen through a connection's trace: every call goes on to the
// backend unchanged, then its outcome is handed to the host's callback.
// A connection routes its calls through this only while a trace is set, so
// an untraced connection makes exactly its backend's calls.
#pragma once

#include <cstdint>

#include "focus.h"
#include "platform/serial_platform.h"

namespace focus::connection {

class TracedLine final : public platform::SerialPlatform {
 public:
  explicit TracedLine(platform::SerialPlatform& backend) : backend_(&backend) {}

  void set_callback(focus_trace_fn callback, void* user) {
    callback_ = callback;
    user_ = user;
  }
  platform::SerialPlatform& backend() const { return *backend_; }

  platform::PortHandle open_port(const char* name) override;
  bool get_line_settings(platform::PortHandle port, platform::LineSettings& settings) override;
  bool set_line_settings(platform::PortHandle port, const platform::LineSettings& settings) override;
  bool get_timeouts(platform::PortHandle port, platform::SerialTimeouts& timeouts) override;
  bool set_timeouts(platform::PortHandle port, const platform::SerialTimeouts& timeouts) override;
  bool purge_received(platform::PortHandle port) override;
  bool read(platform::PortHandle port, std::uint8_t* buffer, std::uint32_t size,
            std::uint32_t& count) override;
  bool write(platform::PortHandle port, const std::uint8_t* data, std::uint32_t size,
             std::uint32_t& written) override;
  bool close_port(platform::PortHandle port) override;
  void sleep_ms(std::uint32_t ms) override;
  std::uint64_t tick_ms() override;

 private:
  void report(std::uint32_t event, const std::uint8_t* bytes, std::uint32_t count);
  void report_timeouts(std::uint32_t event, const platform::SerialTimeouts& timeouts);

  platform::SerialPlatform* backend_;
  focus_trace_fn callback_ = nullptr;
  void* user_ = nullptr;
};

}  // namespace focus::connection
