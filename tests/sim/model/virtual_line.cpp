#include "virtual_line.h"

#include <algorithm>

namespace focus::sim {

VirtualLine::VirtualLine(const SimOptions& options, std::uint64_t replay_key)
    : simulator_(options, replay_key, [this](const TrafficEvent& event) { events_.push_back(event); }) {}

void VirtualLine::host_writes(const protocol::Bytes& bytes, std::uint64_t at_ms) {
  run_until(at_ms);
  simulator_.receive(bytes.data(), bytes.size(), at_ms);
}

void VirtualLine::host_sends(std::uint8_t command, const protocol::Bytes& payload, std::uint64_t at_ms) {
  host_writes(protocol::encode_frame(protocol::make_host_frame(command, payload.data(), payload.size())),
              at_ms);
}

void VirtualLine::run_until(std::uint64_t until_ms) {
  for (;;) {
    const std::optional<std::uint64_t> next = simulator_.next_due();
    if (!next || *next > until_ms) break;
    now_ms_ = std::max(now_ms_, *next);
    for (protocol::Bytes& bytes : simulator_.take_due(now_ms_)) writes_.push_back(TimedWrite{now_ms_, bytes});
  }
  now_ms_ = std::max(now_ms_, until_ms);
}

protocol::Bytes VirtualLine::received() const {
  protocol::Bytes all;
  for (const TimedWrite& write : writes_) all.insert(all.end(), write.bytes.begin(), write.bytes.end());
  return all;
}

std::vector<TimedPiece> VirtualLine::pieces() const {
  const protocol::Bytes all = received();
  std::vector<TimedPiece> out;
  for (text::ScannedPiece& piece : text::scan_frames(all.data(), all.size())) {
    // The write that holds the piece's last byte.
    const std::size_t last = piece.offset + piece.bytes.size() - 1;
    std::size_t end = 0;
    std::uint64_t at = 0;
    for (const TimedWrite& write : writes_) {
      end += write.bytes.size();
      at = write.at_ms;
      if (end > last) break;
    }
    out.push_back(TimedPiece{at, std::move(piece)});
  }
  return out;
}

std::vector<TimedPiece> VirtualLine::device_frames() const {
  std::vector<TimedPiece> frames;
  for (TimedPiece& timed : pieces()) {
    if (timed.piece.kind == text::ScannedPiece::Kind::frame &&
        timed.piece.frame.direction != protocol::kHostDirection) {
      frames.push_back(std::move(timed));
    }
  }
  return frames;
}

}  // namespace focus::sim
