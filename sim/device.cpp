#include "device.h"

#include <algorithm>

#include "protocol/command_codes.h"
#include "protocol/command_table.h"
#include "protocol/little_endian.h"

namespace focus::sim {

namespace codes = focus::protocol;

namespace {

// Payload bytes each command needs: those its export sends up to the last
// value the device reads; nullopt for a code the device does not know.
std::optional<std::size_t> payload_needed(std::uint8_t command) {
  const protocol::CommandSpec* row = protocol::find_command_spec(command);
  if (row == nullptr) return std::nullopt;
  return row->bytes_read();
}

protocol::Frame ack_frame(std::uint8_t command, std::uint8_t status, std::uint8_t code) {
  return protocol::make_device_frame(command, {codes::kAcknowledgement, status, code});
}

}  // namespace

Device::Device(const DeviceOptions& options, std::uint64_t replay_key)
    : options_(options), random_(replay_key) {}

Handling Device::handle(const protocol::Frame& request, std::uint64_t now_ms) {
  if (!state_.powered) return Handling::powered_off;
  if (options_.silent.test(request.command)) return Handling::silenced;

  // Whatever was running ends with the next command; what it produced
  // before the command came still goes out.
  produce_stream(now_ms);
  stream_ = Stream::none;
  std::erase_if(pending_, [now_ms](const Pending& p) { return p.result && p.due_ms > now_ms; });

  const std::uint64_t ack_ms = now_ms + options_.ack_delay_ms;
  if (const std::optional<std::uint8_t> code = refusal(request)) {
    schedule(ack_ms, ack_frame(request.command, 0, *code), false);
    return Handling::refused;
  }
  schedule(ack_ms, ack_frame(request.command, codes::kStatusAccepted, 0), false);
  apply(request, ack_ms);
  return Handling::answered;
}

std::optional<std::uint8_t> Device::refusal(const protocol::Frame& request) const {
  if (options_.refuse.test(request.command)) return kRefusedOnRequest;
  const std::optional<std::size_t> needed = payload_needed(request.command);
  if (!needed) return kRefusedUnknownCommand;
  if (request.payload.size() < *needed) return kRefusedShortPayload;
  return std::nullopt;
}

void Device::apply(const protocol::Frame& request, std::uint64_t ack_ms) {
  const protocol::Bytes& p = request.payload;
  switch (request.command) {
    case codes::kSingleFocus:
      schedule(ack_ms + options_.focus_ms,
               options_.fail_code
                   ? result_frame(request.command, codes::kFocusResult, 0, *options_.fail_code, 0)
                   : result_frame(request.command, codes::kFocusResult, codes::kStatusAccepted, 0,
                                  focus_reading()),
               true);
      break;
    case codes::kContinuousFocus: start_stream(Stream::focus, request.command, ack_ms); break;
    case codes::kCalibMode: state_.calibrating = true; break;
    case codes::kCalibMove:
      state_.calib_x = p[0];
      state_.calib_y = protocol::read_le16(p, 1);
      break;
    case codes::kCalibSave:
      state_.calibration_saved = true;
      state_.calibrating = false;
      break;
    case codes::kLaserOn:
      state_.laser_on = true;
      state_.laser_power = p[1];
      break;
    case codes::kLaserOff: state_.laser_on = false; break;
    case codes::kLaserPower: state_.laser_power = p[1]; break;
    case codes::kSingleRange:
      schedule(ack_ms,
               result_frame(request.command, codes::kRangeResult, codes::kStatusAccepted, 0, range_reading()),
               true);
      break;
    case codes::kContinuousRange: start_stream(Stream::range, request.command, ack_ms); break;
    case codes::kLiftControl: state_.lift_position = p[0]; break;
    case codes::kExtTriggerSet: state_.trigger_armed = true; break;
    case codes::kExtTriggerFire:
      schedule(ack_ms,
               result_frame(request.command, codes::kFocusResult, codes::kStatusAccepted, 0, focus_reading()),
               true);
      break;
    case codes::kAutoDescend: state_.lift_position = 0; break;
    case codes::kFixedCycle:
      state_.cycle_x = protocol::read_le16(p, 1);
      state_.cycle_y = protocol::read_le16(p, 3);
      break;
    case codes::kSyncTimeSet:
      for (std::size_t word = 0; word < state_.clock.size(); ++word)
        state_.clock[word] = protocol::read_le16(p, 1 + 2 * word);
      break;
    case codes::kSyncTimeGet: break;
    case codes::kPowerOff: state_.powered = false; break;
    case codes::kSysInfo:
      schedule(ack_ms, protocol::make_device_frame(request.command, sys_info_payload(state_)), false);
      break;
    default: break;
  }
}

void Device::schedule(std::uint64_t due_ms, protocol::Frame frame, bool result) {
  Pending entry{due_ms, next_order_++, std::move(frame), result};
  const auto later = std::upper_bound(pending_.begin(), pending_.end(), due_ms,
                                      [](std::uint64_t due, const Pending& p) { return due < p.due_ms; });
  pending_.insert(later, std::move(entry));
}

void Device::start_stream(Stream stream, std::uint8_t command, std::uint64_t from_ms) {
  stream_ = stream;
  stream_command_ = command;
  stream_from_ms_ = from_ms;
  stream_sent_ = 0;
}

// Result `index` (from 0) of the running stream; computed from the start so
// that the rate does not drift.
std::uint64_t Device::stream_due(std::uint64_t index) const {
  return stream_from_ms_ + (index + 1) * 1000 / options_.rate_hz;
}

void Device::produce_stream(std::uint64_t now_ms) {
  while (stream_ != Stream::none && stream_due(stream_sent_) <= now_ms) {
    const bool focus = stream_ == Stream::focus;
    schedule(stream_due(stream_sent_),
             result_frame(stream_command_, focus ? codes::kFocusResult : codes::kRangeResult,
                          codes::kStatusAccepted, 0, focus ? focus_reading() : range_reading()),
             true);
    ++stream_sent_;
  }
}

std::vector<Outgoing> Device::take_due(std::uint64_t now_ms) {
  produce_stream(now_ms);
  std::vector<Outgoing> due;
  auto it = pending_.begin();
  while (it != pending_.end() && it->due_ms <= now_ms) {
    due.push_back(Outgoing{it->due_ms, std::move(it->frame)});
    ++it;
  }
  pending_.erase(pending_.begin(), it);
  return due;
}

std::optional<std::uint64_t> Device::next_due() const {
  std::optional<std::uint64_t> next;
  if (!pending_.empty()) next = pending_.front().due_ms;
  if (stream_ != Stream::none) {
    const std::uint64_t stream_next = stream_due(stream_sent_);
    next = next ? std::min(*next, stream_next) : stream_next;
  }
  return next;
}

protocol::Frame Device::result_frame(std::uint8_t command, std::uint8_t kind, std::uint8_t status,
                                     std::uint8_t code, std::uint16_t value) const {
  return protocol::make_device_frame(
      command, {kind, status, code, protocol::low_byte(value), protocol::high_byte(value)});
}

std::uint16_t Device::focus_reading() {
  std::uniform_int_distribution<int> jitter(-2, 2);
  return static_cast<std::uint16_t>(1000 + 4 * state_.lift_position + jitter(random_));
}

std::uint16_t Device::range_reading() {
  std::uniform_int_distribution<int> jitter(-8, 8);
  return static_cast<std::uint16_t>(20000 - 50 * state_.lift_position + jitter(random_));
}

}  // namespace focus::sim
