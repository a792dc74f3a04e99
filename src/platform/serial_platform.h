// The operations the library needs from the operating system: a serial port
// and a clock. Each maps one to one onto a kernel32 call; the POSIX backend
// emulates the same behaviour on termios, and tests plug in a scripted line.
#pragma once

#include <array>
#include <cstdint>

namespace focus::platform {

// An open port, pointer-sized like a Windows HANDLE.
using PortHandle = std::intptr_t;
// INVALID_HANDLE_VALUE: (HANDLE)-1.
inline constexpr PortHandle kInvalidPort = -1;

inline constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

// The five values of a serial timeout record (COMMTIMEOUTS), in ms.
struct SerialTimeouts {
  std::uint32_t read_interval = 0;
  std::uint32_t read_total_multiplier = 0;
  std::uint32_t read_total_constant = 0;
  std::uint32_t write_total_multiplier = 0;
  std::uint32_t write_total_constant = 0;

  friend bool operator==(const SerialTimeouts&, const SerialTimeouts&) = default;
};

// Parity and stop-bit values as the Windows line record spells them.
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOddParity = 1;
inline constexpr std::uint8_t kEvenParity = 2;
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kTwoStopBits = 2;

// A port's line settings (DCB). The four fields are what the library
// changes; `driver_record` carries the backend's complete record as the
// driver reported it, so that setting the line writes every other setting
// (flow control, modem lines, special characters) back unchanged.
struct LineSettings {
  std::uint32_t baud_rate = 0;
  std::uint8_t byte_size = 0;
  std::uint8_t parity = 0;
  std::uint8_t stop_bits = 0;
  alignas(8) std::array<unsigned char, 128> driver_record{};
};

class SerialPlatform {
 public:
  virtual ~SerialPlatform() = default;

  // CreateFileA(name, read|write, share 0, OPEN_EXISTING): the name as
  // given, opened exclusively. kInvalidPort on failure, with the system's
  // reason left in errno / GetLastError().
  virtual PortHandle open_port(const char* name) = 0;
  // GetCommState / SetCommState.
  virtual bool get_line_settings(PortHandle port, LineSettings& settings) = 0;
  virtual bool set_line_settings(PortHandle port, const LineSettings& settings) = 0;
  // GetCommTimeouts / SetCommTimeouts.
  virtual bool get_timeouts(PortHandle port, SerialTimeouts& timeouts) = 0;
  virtual bool set_timeouts(PortHandle port, const SerialTimeouts& timeouts) = 0;
  // PurgeComm(PURGE_RXCLEAR): drop bytes received and not yet read.
  virtual bool purge_received(PortHandle port) = 0;
  // ReadFile / WriteFile, synchronous, under the port's timeouts. The count
  // is set to 0 before the call and holds the bytes transferred after it.
  virtual bool read(PortHandle port, std::uint8_t* buffer, std::uint32_t size, std::uint32_t& count) = 0;
  virtual bool write(PortHandle port, const std::uint8_t* data, std::uint32_t size,
                     std::uint32_t& written) = 0;
  // CloseHandle.
  virtual bool close_port(PortHandle port) = 0;
  // Sleep / GetTickCount64.
  virtual void sleep_ms(std::uint32_t ms) = 0;
  virtual std::uint64_t tick_ms() = 0;
};

// The backend of the operating system the library was built for.
SerialPlatform& system_platform();

}  // namespace focus::platform
