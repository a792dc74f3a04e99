// The serial line on POSIX termios, behaving as the Windows calls do: an
// exclusive open, the line record read and written whole, and the timeout
// records the library uses emulated with poll().
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "platform/serial_platform.h"

namespace focus::platform {

namespace {

static_assert(sizeof(termios) <= sizeof(LineSettings::driver_record), "termios fits the line record");

// What a handle points to: the descriptor and the timeout record, which
// termios has no place for.
struct PosixPort {
  int fd;
  SerialTimeouts timeouts;
};

PosixPort& port_of(PortHandle handle) {
  return *reinterpret_cast<PosixPort*>(handle);
}

struct BaudPair {
  std::uint32_t rate;
  speed_t speed;
};
constexpr BaudPair kBaudRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

speed_t speed_for(std::uint32_t rate) {
  for (const BaudPair& pair : kBaudRates) {
    if (pair.rate == rate) return pair.speed;
  }
  return B115200;
}

std::uint32_t rate_for(speed_t speed) {
  for (const BaudPair& pair : kBaudRates) {
    if (pair.speed == speed) return pair.rate;
  }
  return 0;
}

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, at least 0.
int ms_until(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left > 0x7FFFFFFF ? 0x7FFFFFFF : left);
}

bool wait_for(int fd, short events, int timeout_ms) {
  pollfd entry{fd, events, 0};
  int ready;
  do {
    ready = ::poll(&entry, 1, timeout_ms);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

bool would_block(ssize_t result) {
  return result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

class PosixSerialPlatform final : public SerialPlatform {
 public:
  PortHandle open_port(const char* name) override {
    // Non-blocking, so that neither the open nor a read waits for a carrier;
    // the timeout record decides how long each call waits.
    const int fd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return kInvalidPort;
    // Exclusive like share mode 0: the lock refuses a second open from this
    // or any other process (TIOCEXCL alone does not stop root).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int reason = (errno == EWOULDBLOCK) ? EBUSY : errno;
      ::close(fd);
      errno = reason;
      return kInvalidPort;
    }
    if (::isatty(fd)) ::ioctl(fd, TIOCEXCL);
    auto* port = new (std::nothrow) PosixPort{fd, SerialTimeouts{}};
    if (port == nullptr) {
      ::close(fd);
      errno = ENOMEM;
      return kInvalidPort;
    }
    return reinterpret_cast<PortHandle>(port);
  }

  bool get_line_settings(PortHandle handle, LineSettings& settings) override {
    termios tio{};
    if (::tcgetattr(port_of(handle).fd, &tio) != 0) return false;
    std::memcpy(settings.driver_record.data(), &tio, sizeof tio);
    settings.baud_rate = rate_for(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
      case CS5: settings.byte_size = 5; break;
      case CS6: settings.byte_size = 6; break;
      case CS7: settings.byte_size = 7; break;
      default: settings.byte_size = 8; break;
    }
    settings.parity = !(tio.c_cflag & PARENB) ? kNoParity : (tio.c_cflag & PARODD) ? kOddParity : kEvenParity;
    settings.stop_bits = (tio.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
    return true;
  }

  bool set_line_settings(PortHandle handle, const LineSettings& settings) override {
    termios tio{};
    std::memcpy(&tio, settings.driver_record.data(), sizeof tio);
    // Binary clean: no translation, no echo, no signals, no software flow
    // control (it would swallow 0x11 and 0x13 in frames). Hardware flow
    // control (CRTSCTS) and the modem-line handling stay as they were.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                          IXOFF | IXANY);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= CREAD | CLOCAL;
    switch (settings.byte_size) {
      case 5: tio.c_cflag |= CS5; break;
      case 6: tio.c_cflag |= CS6; break;
      case 7: tio.c_cflag |= CS7; break;
      default: tio.c_cflag |= CS8; break;
    }
    if (settings.parity == kOddParity) tio.c_cflag |= PARENB | PARODD;
    if (settings.parity == kEvenParity) tio.c_cflag |= PARENB;
    if (settings.stop_bits == kTwoStopBits) tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed_for(settings.baud_rate));
    ::cfsetospeed(&tio, speed_for(settings.baud_rate));
    return ::tcsetattr(port_of(handle).fd, TCSANOW, &tio) == 0;
  }

  bool get_timeouts(PortHandle handle, SerialTimeouts& timeouts) override {
    timeouts = port_of(handle).timeouts;
    return true;
  }

  bool set_timeouts(PortHandle handle, const SerialTimeouts& timeouts) override {
    port_of(handle).timeouts = timeouts;
    return true;
  }

  bool purge_received(PortHandle handle) override { return ::tcflush(port_of(handle).fd, TCIFLUSH) == 0; }

  // ReadFile under the two timeout records the library reads under:
  // {MAXDWORD, MAXDWORD, T} returns at once with the bytes already received,
  // else with the first bytes that arrive within T ms, else with none after
  // T; every other record is read as {MAXDWORD, 0, 0}, which returns at once
  // with what has arrived, possibly nothing.
  bool read(PortHandle handle, std::uint8_t* buffer, std::uint32_t size, std::uint32_t& count) override {
    const PosixPort& port = port_of(handle);
    const SerialTimeouts& t = port.timeouts;
    count = 0;
    if (size == 0) return true;
    const bool waits_for_first_byte = t.read_interval == kMaxDword && t.read_total_multiplier == kMaxDword &&
                                      t.read_total_constant != 0 && t.read_total_constant != kMaxDword;
    const auto deadline = Clock::now() + std::chrono::milliseconds(t.read_total_constant);
    bool reported_ready = false;
    for (;;) {
      const ssize_t got = ::read(port.fd, buffer, size);
      if (got > 0) {
        count = static_cast<std::uint32_t>(got);
        return true;
      }
      const bool failed = got < 0 && !would_block(got);
      if (!waits_for_first_byte) return !failed;
      if (failed || reported_ready) {
        // A line that cannot deliver (a hang-up, an error, an end of file
        // that poll keeps reporting) waits out its time as a quiet one
        // does, rather than spin.
        std::this_thread::sleep_until(deadline);
        return !failed;
      }
      const int wait_ms = ms_until(deadline);
      if (wait_ms == 0) return true;
      reported_ready = wait_for(port.fd, POLLIN, wait_ms);
    }
  }

  // WriteFile under COMMTIMEOUTS: gives up after multiplier x size +
  // constant ms (never, when both are 0) and reports what went out.
  bool write(PortHandle handle, const std::uint8_t* data, std::uint32_t size,
             std::uint32_t& written) override {
    const PosixPort& port = port_of(handle);
    const SerialTimeouts& t = port.timeouts;
    written = 0;
    const std::uint64_t total_ms = std::uint64_t{t.write_total_multiplier} * size + t.write_total_constant;
    const auto deadline = Clock::now() + std::chrono::milliseconds(total_ms);
    while (written < size) {
      const ssize_t put = ::write(port.fd, data + written, size - written);
      if (put > 0) {
        written += static_cast<std::uint32_t>(put);
        continue;
      }
      if (!would_block(put)) return false;
      const int wait_ms = total_ms == 0 ? -1 : ms_until(deadline);
      if (wait_ms == 0) return true;
      wait_for(port.fd, POLLOUT, wait_ms);
    }
    return true;
  }

  bool close_port(PortHandle handle) override {
    PosixPort* port = &port_of(handle);
    if (::isatty(port->fd)) ::ioctl(port->fd, TIOCNXCL);
    const bool closed = ::close(port->fd) == 0;
    delete port;
    return closed;
  }

  void sleep_ms(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  std::uint64_t tick_ms() override {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
  }
};

}  // namespace

SerialPlatform& system_platform() {
  static PosixSerialPlatform platform;
  return platform;
}

}  // namespace focus::platform
