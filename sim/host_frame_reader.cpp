#include "host_frame_reader.h"

namespace focus::sim {

std::vector<text::ScannedPiece> HostFrameReader::feed(const std::uint8_t* bytes, std::size_t count,
                                                      std::uint64_t now_ms) {
  held_.insert(held_.end(), bytes, bytes + count);
  last_arrival_ms_ = now_ms;
  std::vector<text::ScannedPiece> pieces = text::scan_frames(held_.data(), held_.size());
  protocol::Bytes rest;
  if (!pieces.empty() && pieces.back().kind == text::ScannedPiece::Kind::incomplete) {
    rest = std::move(pieces.back().bytes);
    pieces.pop_back();
  }
  held_ = std::move(rest);
  return pieces;
}

std::optional<text::ScannedPiece> HostFrameReader::expire(std::uint64_t now_ms) {
  if (held_.empty() || now_ms < last_arrival_ms_ + kStaleMs) return std::nullopt;
  text::ScannedPiece piece{text::ScannedPiece::Kind::incomplete, 0, std::move(held_), {}};
  held_.clear();
  return piece;
}

std::optional<std::uint64_t> HostFrameReader::expiry_due() const {
  if (held_.empty()) return std::nullopt;
  return last_arrival_ms_ + kStaleMs;
}

}  // namespace focus::sim
