// The serial line on kernel32: one call per operation, synchronous, with no
// overlapped I/O. Results are passed back as the calls report them; what
// the library makes of them is decided above this layer.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>

#include "platform/serial_platform.h"

namespace focus::platform {

namespace {

static_assert(sizeof(HANDLE) == sizeof(PortHandle), "a port handle holds a HANDLE");
static_assert(sizeof(DCB) == 28, "the line record is 28 bytes on every Windows target");
static_assert(sizeof(DCB) <= sizeof(LineSettings::driver_record), "the line record fits");
static_assert(alignof(DCB) <= alignof(LineSettings), "the line record's alignment fits");
static_assert(MAXDWORD == kMaxDword, "the polling interval is MAXDWORD");
static_assert(NOPARITY == kNoParity && ODDPARITY == kOddParity && EVENPARITY == kEvenParity,
              "parity values as the line record spells them");
static_assert(ONESTOPBIT == kOneStopBit && TWOSTOPBITS == kTwoStopBits,
              "stop-bit values as the line record spells them");

HANDLE handle_of(PortHandle port) {
  return reinterpret_cast<HANDLE>(port);
}

class Win32SerialPlatform final : public SerialPlatform {
 public:
  PortHandle open_port(const char* name) override {
    // Exclusive (share mode 0), synchronous (no FILE_FLAG_OVERLAPPED). The
    // name goes through as given: "COM3", or "\\.\COM12" from COM10 up.
    // On failure INVALID_HANDLE_VALUE, i.e. kInvalidPort, with the reason in
    // GetLastError().
    const HANDLE port =
        ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return reinterpret_cast<PortHandle>(port);
  }

  // The whole record goes into `driver_record`, so that setting the line
  // later writes back every field but the four the library changes. The
  // record starts zeroed with its length set whether or not the driver
  // fills it.
  bool get_line_settings(PortHandle port, LineSettings& settings) override {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    const bool ok = ::GetCommState(handle_of(port), &dcb) != 0;
    settings.driver_record.fill(0);
    std::memcpy(settings.driver_record.data(), &dcb, sizeof dcb);
    settings.baud_rate = dcb.BaudRate;
    settings.byte_size = dcb.ByteSize;
    settings.parity = dcb.Parity;
    settings.stop_bits = dcb.StopBits;
    return ok;
  }

  bool set_line_settings(PortHandle port, const LineSettings& settings) override {
    DCB dcb;
    std::memcpy(&dcb, settings.driver_record.data(), sizeof dcb);
    dcb.BaudRate = settings.baud_rate;
    dcb.ByteSize = settings.byte_size;
    dcb.Parity = settings.parity;
    dcb.StopBits = settings.stop_bits;
    return ::SetCommState(handle_of(port), &dcb) != 0;
  }

  bool get_timeouts(PortHandle port, SerialTimeouts& timeouts) override {
    COMMTIMEOUTS record;
    std::memset(&record, 0, sizeof record);
    if (::GetCommTimeouts(handle_of(port), &record) == 0) return false;
    timeouts.read_interval = record.ReadIntervalTimeout;
    timeouts.read_total_multiplier = record.ReadTotalTimeoutMultiplier;
    timeouts.read_total_constant = record.ReadTotalTimeoutConstant;
    timeouts.write_total_multiplier = record.WriteTotalTimeoutMultiplier;
    timeouts.write_total_constant = record.WriteTotalTimeoutConstant;
    return true;
  }

  bool set_timeouts(PortHandle port, const SerialTimeouts& timeouts) override {
    COMMTIMEOUTS record;
    record.ReadIntervalTimeout = timeouts.read_interval;
    record.ReadTotalTimeoutMultiplier = timeouts.read_total_multiplier;
    record.ReadTotalTimeoutConstant = timeouts.read_total_constant;
    record.WriteTotalTimeoutMultiplier = timeouts.write_total_multiplier;
    record.WriteTotalTimeoutConstant = timeouts.write_total_constant;
    return ::SetCommTimeouts(handle_of(port), &record) != 0;
  }

  // The receive side only; bytes queued for transmission still go out.
  bool purge_received(PortHandle port) override { return ::PurgeComm(handle_of(port), PURGE_RXCLEAR) != 0; }

  bool read(PortHandle port, std::uint8_t* buffer, std::uint32_t size, std::uint32_t& count) override {
    DWORD transferred = 0;
    const bool ok = ::ReadFile(handle_of(port), buffer, size, &transferred, nullptr) != 0;
    count = transferred;
    return ok;
  }

  bool write(PortHandle port, const std::uint8_t* data, std::uint32_t size, std::uint32_t& written) override {
    DWORD transferred = 0;
    const bool ok = ::WriteFile(handle_of(port), data, size, &transferred, nullptr) != 0;
    written = transferred;
    return ok;
  }

  bool close_port(PortHandle port) override { return ::CloseHandle(handle_of(port)) != 0; }

  void sleep_ms(std::uint32_t ms) override { ::Sleep(ms); }

  std::uint64_t tick_ms() override { return ::GetTickCount64(); }
};

}  // namespace

SerialPlatform& system_platform() {
  static Win32SerialPlatform platform;
  return platform;
}

}  // namespace focus::platform
