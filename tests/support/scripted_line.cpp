#include "scripted_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace focus::testing {

void ScriptedLine::arrive_at(std::uint64_t at, const Bytes& bytes) {
  const auto later = std::upper_bound(arrivals_.begin(), arrivals_.end(), at,
                                      [](std::uint64_t t, const Arrival& a) { return t < a.at; });
  arrivals_.insert(later, Arrival{at, bytes});
}

std::vector<Call> ScriptedLine::calls_of(Call::Kind kind) const {
  std::vector<Call> found;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(found),
               [kind](const Call& call) { return call.kind == kind; });
  return found;
}

Bytes ScriptedLine::written() const {
  Bytes all;
  for (const Call& call : calls_of(Call::write)) all.insert(all.end(), call.bytes.begin(), call.bytes.end());
  return all;
}

std::size_t ScriptedLine::pending_bytes() const {
  std::size_t total = 0;
  for (const Arrival& arrival : arrivals_) total += arrival.bytes.size();
  return total;
}

Call& ScriptedLine::record(Call::Kind kind) {
  calls_.push_back(Call{kind, now_, {}, 0, {}});
  return calls_.back();
}

platform::PortHandle ScriptedLine::open_port(const char* name) {
  record(Call::open);
  opened_name_ = name;
  if (open_error_ != 0) {
    errno = open_error_;
    return platform::kInvalidPort;
  }
  return kPort;
}

bool ScriptedLine::get_line_settings(platform::PortHandle, platform::LineSettings& settings) {
  record(Call::get_line);
  if (get_line_error_ != 0) {
    errno = get_line_error_;
    return false;
  }
  settings = line_;
  return true;
}

bool ScriptedLine::set_line_settings(platform::PortHandle, const platform::LineSettings& settings) {
  record(Call::set_line);
  line_ = settings;
  return true;
}

bool ScriptedLine::get_timeouts(platform::PortHandle, SerialTimeouts& timeouts) {
  Call& call = record(Call::get_timeouts);
  if (get_timeouts_fails_) return false;
  timeouts = timeouts_;
  call.timeouts = timeouts_;
  return true;
}

bool ScriptedLine::set_timeouts(platform::PortHandle, const SerialTimeouts& timeouts) {
  record(Call::set_timeouts).timeouts = timeouts;
  timeouts_ = timeouts;
  return true;
}

bool ScriptedLine::purge_received(platform::PortHandle) {
  record(Call::purge);
  while (!arrivals_.empty() && arrivals_.front().at <= now_) arrivals_.pop_front();
  return true;
}

bool ScriptedLine::read(platform::PortHandle, std::uint8_t* buffer, std::uint32_t size,
                        std::uint32_t& count) {
  if (read_hook_) read_hook_(*this);
  Call& call = record(Call::read);
  call.size = size;
  call.timeouts = timeouts_;
  count = 0;
  // Under {MAXDWORD, MAXDWORD, T} a read on a quiet line waits up to T for
  // the first byte; the wait moves the clock on.
  const bool waits = timeouts_.read_interval == platform::kMaxDword &&
                     timeouts_.read_total_multiplier == platform::kMaxDword &&
                     timeouts_.read_total_constant != 0 &&
                     timeouts_.read_total_constant != platform::kMaxDword;
  if (waits) {
    const std::uint64_t until = now_ + timeouts_.read_total_constant;
    const bool quiet = reads_fail_ || arrivals_.empty() || arrivals_.front().at > now_;
    if (quiet) {
      now_ =
          (!reads_fail_ && !arrivals_.empty() && arrivals_.front().at < until) ? arrivals_.front().at : until;
    }
    call.returned_at = now_;
  }
  if (reads_fail_) return false;
  drop_overflow();
  while (count < size && !arrivals_.empty() && arrivals_.front().at <= now_) {
    Bytes& bytes = arrivals_.front().bytes;
    const std::size_t take = std::min<std::size_t>(size - count, bytes.size());
    std::copy_n(bytes.begin(), take, buffer + count);
    call.bytes.insert(call.bytes.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    count += static_cast<std::uint32_t>(take);
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    if (bytes.empty()) arrivals_.pop_front();
  }
  return true;
}

// Bytes leave the driver only when read or purged, so what arrived since
// then and does not fit is what was lost.
void ScriptedLine::drop_overflow() {
  std::size_t held = 0;
  for (auto arrival = arrivals_.begin(); arrival != arrivals_.end() && arrival->at <= now_;) {
    const std::size_t fits = held < driver_capacity_ ? driver_capacity_ - held : 0;
    if (arrival->bytes.size() > fits) {
      lost_bytes_ += arrival->bytes.size() - fits;
      arrival->bytes.resize(fits);
    }
    held += arrival->bytes.size();
    arrival = arrival->bytes.empty() ? arrivals_.erase(arrival) : arrival + 1;
  }
}

bool ScriptedLine::write(platform::PortHandle, const std::uint8_t* data, std::uint32_t size,
                         std::uint32_t& written) {
  written = std::min(size, write_limit_);
  Bytes bytes(data, data + written);
  record(Call::write).bytes = bytes;
  if (reaction_ && written > 0) reaction_(*this, bytes);
  return written == size;
}

bool ScriptedLine::close_port(platform::PortHandle) {
  record(Call::close);
  closed_ = true;
  return true;
}

void ScriptedLine::sleep_ms(std::uint32_t ms) {
  record(Call::sleep).size = ms;
  now_ += ms;
  if (sleep_hook_) sleep_hook_(*this);
}

std::uint64_t ScriptedLine::tick_ms() {
  record(Call::tick);
  const std::uint64_t reading = now_;
  now_ += tick_step_;
  return reading;
}

Bytes device_frame(std::uint8_t command, const Bytes& payload, std::uint8_t direction) {
  return protocol::encode_frame(protocol::make_frame(direction, command, payload));
}

Bytes ack(std::uint8_t status, std::uint8_t command) {
  return device_frame(command, {0x01, status, 0x00});
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<Call::Kind> kinds_of(const std::vector<Call>& calls) {
  std::vector<Call::Kind> kinds;
  for (const Call& call : calls) kinds.push_back(call.kind);
  return kinds;
}

std::string hex(const Bytes& bytes) {
  std::string text;
  char digits[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(digits, sizeof digits, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += digits;
  }
  return text;
}

}  // namespace focus::testing
