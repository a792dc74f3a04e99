#include "connection/traced_line.h"

#include <array>

#include "connection/device_connection.h"

namespace focus::connection {

namespace {

// A 32-bit value as the trace hands it over: 4 bytes, low byte first.
void put_le32(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

void TracedLine::report(std::uint32_t event, const std::uint8_t* bytes, std::uint32_t count) {
  if (callback_ == nullptr) return;
  callback_(user_, event, count == 0 ? nullptr : bytes, count, backend_->tick_ms());
}

void TracedLine::report_timeouts(std::uint32_t event, const platform::SerialTimeouts& timeouts) {
  std::array<std::uint8_t, 20> record{};
  put_le32(&record[0], timeouts.read_interval);
  put_le32(&record[4], timeouts.read_total_multiplier);
  put_le32(&record[8], timeouts.read_total_constant);
  put_le32(&record[12], timeouts.write_total_multiplier);
  put_le32(&record[16], timeouts.write_total_constant);
  report(event, record.data(), static_cast<std::uint32_t>(record.size()));
}

// A trace is set on an open connection, so opening and configuring the
// line are never traced; these pass straight through.
platform::PortHandle TracedLine::open_port(const char* name) {
  return backend_->open_port(name);
}

bool TracedLine::get_line_settings(platform::PortHandle port, platform::LineSettings& settings) {
  return backend_->get_line_settings(port, settings);
}

bool TracedLine::set_line_settings(platform::PortHandle port, const platform::LineSettings& settings) {
  return backend_->set_line_settings(port, settings);
}

bool TracedLine::get_timeouts(platform::PortHandle port, platform::SerialTimeouts& timeouts) {
  const bool ok = backend_->get_timeouts(port, timeouts);
  if (ok) {
    report_timeouts(FOCUS_TRACE_GET_TIMEOUTS, timeouts);
  } else {
    report(FOCUS_TRACE_GET_TIMEOUTS, nullptr, 0);
  }
  return ok;
}

bool TracedLine::set_timeouts(platform::PortHandle port, const platform::SerialTimeouts& timeouts) {
  const bool ok = backend_->set_timeouts(port, timeouts);
  report_timeouts(FOCUS_TRACE_TIMEOUTS, timeouts);
  return ok;
}

bool TracedLine::purge_received(platform::PortHandle port) {
  const bool ok = backend_->purge_received(port);
  report(FOCUS_TRACE_PURGE, nullptr, 0);
  return ok;
}

bool TracedLine::read(platform::PortHandle port, std::uint8_t* buffer, std::uint32_t size,
                      std::uint32_t& count) {
  const bool ok = backend_->read(port, buffer, size, count);
  if (count > 0) report(FOCUS_TRACE_READ, buffer, count < size ? count : size);
  return ok;
}

bool TracedLine::write(platform::PortHandle port, const std::uint8_t* data, std::uint32_t size,
                       std::uint32_t& written) {
  const bool ok = backend_->write(port, data, size, written);
  report(FOCUS_TRACE_WRITE, data, written < size ? written : size);
  return ok;
}

bool TracedLine::close_port(platform::PortHandle port) {
  const bool ok = backend_->close_port(port);
  report(FOCUS_TRACE_CLOSE, nullptr, 0);
  return ok;
}

void TracedLine::sleep_ms(std::uint32_t ms) {
  backend_->sleep_ms(ms);
  std::uint8_t bytes[4];
  put_le32(bytes, ms);
  report(FOCUS_TRACE_SLEEP, bytes, sizeof bytes);
}

std::uint64_t TracedLine::tick_ms() {
  return backend_->tick_ms();
}

}  // namespace focus::connection

extern "C" FOCUS_API int32_t FOCUS_CALL focus_set_trace(DeviceConnection* dev, focus_trace_fn fn,
                                                        void* user) {
  if (dev == nullptr) return FOCUS_ERR_ARG;
  dev->traced.set_callback(fn, user);
  dev->platform = fn == nullptr ? &dev->traced.backend() : &dev->traced;
  return FOCUS_OK;
}
