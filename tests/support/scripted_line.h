// A serial line for tests: a virtual clock (sleep advances it, the tick
// reads it, a read under {MAXDWORD, MAXDWORD, T} waits on it for the first
// byte up to T), device bytes that become readable at given times or in
// answer to a host write, and a record of every platform call in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/serial_platform.h"
#include "protocol/frame.h"

namespace focus::testing {

using platform::SerialTimeouts;
using protocol::Bytes;

struct Call {
  enum Kind { open, get_line, set_line, get_timeouts, set_timeouts, purge, read, write, close, sleep, tick };
  Kind kind;
  std::uint64_t at;           // virtual time of the call
  Bytes bytes;                // write: the bytes written; read: the bytes returned
  std::uint32_t size = 0;     // read: the most asked for; sleep: the ms
  SerialTimeouts timeouts{};  // set_timeouts: the record set; get_timeouts: the record returned; read: the
                              // record in force
  std::uint64_t returned_at = 0;  // a read that may wait: virtual time of its return
};

class ScriptedLine final : public platform::SerialPlatform {
 public:
  static constexpr platform::PortHandle kPort = 0x4242;

  // --- the device's side ---
  // `bytes` become readable at virtual time `at`.
  void arrive_at(std::uint64_t at, const Bytes& bytes);
  void arrive_in(std::uint64_t delay, const Bytes& bytes) { arrive_at(now_ + delay, bytes); }
  // Called after every host write with the bytes written, e.g. to
  // acknowledge each request 10 ms later.
  using Reaction = std::function<void(ScriptedLine&, const Bytes& written)>;
  void on_write(Reaction reaction) { reaction_ = std::move(reaction); }
  // Called after every sleep, e.g. to move the clock on by a long stall.
  void on_sleep(std::function<void(ScriptedLine&)> hook) { sleep_hook_ = std::move(hook); }
  // Called at the start of every read.
  void on_read(std::function<void(ScriptedLine&)> hook) { read_hook_ = std::move(hook); }
  // The driver holds at most this many received bytes; what arrives while
  // it is full is lost, as on a UART whose receive buffer overflows.
  void limit_driver_buffer(std::size_t bytes) { driver_capacity_ = bytes; }
  // Device bytes lost to a full driver buffer so far.
  std::size_t lost_bytes() const { return lost_bytes_; }

  // --- faults ---
  void fail_open(int error) { open_error_ = error; }
  // The port opens but its line settings cannot be read (no serial line).
  void fail_get_line(int error) { get_line_error_ = error; }
  // Each write transfers at most this many bytes.
  void limit_writes(std::uint32_t max_bytes) { write_limit_ = max_bytes; }
  void fail_reads(bool fail) { reads_fail_ = fail; }
  void fail_get_timeouts(bool fail) { get_timeouts_fails_ = fail; }
  // Each tick reading moves the clock on by this much afterwards.
  void tick_step(std::uint64_t ms) { tick_step_ = ms; }

  // --- what happened ---
  std::uint64_t now() const { return now_; }
  void advance(std::uint64_t ms) { now_ += ms; }
  const std::vector<Call>& calls() const { return calls_; }
  std::vector<Call> calls_of(Call::Kind kind) const;
  std::size_t count_of(Call::Kind kind) const { return calls_of(kind).size(); }
  // Every byte the host wrote, in order.
  Bytes written() const;
  const SerialTimeouts& timeouts() const { return timeouts_; }
  void set_current_timeouts(const SerialTimeouts& timeouts) { timeouts_ = timeouts; }
  const platform::LineSettings& line() const { return line_; }
  void set_line(const platform::LineSettings& line) { line_ = line; }
  const std::string& opened_name() const { return opened_name_; }
  bool closed() const { return closed_; }
  // Device bytes scheduled and not yet read or purged.
  std::size_t pending_bytes() const;

  // --- the platform ---
  platform::PortHandle open_port(const char* name) override;
  bool get_line_settings(platform::PortHandle port, platform::LineSettings& settings) override;
  bool set_line_settings(platform::PortHandle port, const platform::LineSettings& settings) override;
  bool get_timeouts(platform::PortHandle port, SerialTimeouts& timeouts) override;
  bool set_timeouts(platform::PortHandle port, const SerialTimeouts& timeouts) override;
  bool purge_received(platform::PortHandle port) override;
  bool read(platform::PortHandle port, std::uint8_t* buffer, std::uint32_t size,
            std::uint32_t& count) override;
  bool write(platform::PortHandle port, const std::uint8_t* data, std::uint32_t size,
             std::uint32_t& written) override;
  bool close_port(platform::PortHandle port) override;
  void sleep_ms(std::uint32_t ms) override;
  std::uint64_t tick_ms() override;

 private:
  struct Arrival {
    std::uint64_t at;
    Bytes bytes;
  };
  Call& record(Call::Kind kind);

  std::uint64_t now_ = 1000;
  std::deque<Arrival> arrivals_;  // in order of time, then of scheduling
  std::vector<Call> calls_;
  Reaction reaction_;
  std::function<void(ScriptedLine&)> sleep_hook_;
  std::function<void(ScriptedLine&)> read_hook_;
  std::size_t driver_capacity_ = SIZE_MAX;
  std::size_t lost_bytes_ = 0;
  void drop_overflow();
  SerialTimeouts timeouts_{};
  platform::LineSettings line_{};
  std::string opened_name_;
  int open_error_ = 0;
  int get_line_error_ = 0;
  std::uint32_t write_limit_ = 0xFFFFFFFFu;
  bool reads_fail_ = false;
  bool get_timeouts_fails_ = false;
  bool closed_ = false;
  std::uint64_t tick_step_ = 0;
};

// A frame in the device's direction (0x02 unless given), CRC included.
Bytes device_frame(std::uint8_t command, const Bytes& payload,
                   std::uint8_t direction = protocol::kDeviceDirection);
// An acknowledgement: kind 1, `status`, code 0.
Bytes ack(std::uint8_t status = 1, std::uint8_t command = 0xA7);
Bytes concat(std::initializer_list<Bytes> parts);
// The kind of each call, in order.
std::vector<Call::Kind> kinds_of(const std::vector<Call>& calls);
std::string hex(const Bytes& bytes);

}  // namespace focus::testing
