#include "frame_scan.h"

#include "protocol/frame_at.h"

namespace focus::text {

namespace {

using Kind = ScannedPiece::Kind;
using protocol::FrameAt;

// What begins at `pos` of the `count` bytes, by the receive path's rule.
FrameAt at(const std::uint8_t* bytes, std::size_t count, std::size_t pos) {
  return protocol::frame_at(bytes + pos, count - pos);
}

ScannedPiece piece(Kind kind, const std::uint8_t* bytes, std::size_t from, std::size_t to) {
  ScannedPiece out{kind, from, protocol::Bytes(bytes + from, bytes + to), {}};
  if (kind == Kind::frame || kind == Kind::bad_crc) {
    protocol::decode_frame(bytes + from, to - from, out.frame);
  }
  return out;
}

// Bytes [from, to) hold no good frame: each 0x5A whose claimed frame fits
// becomes a bad_crc piece, the rest stray runs.
void add_junk(const std::uint8_t* bytes, std::size_t from, std::size_t to, std::vector<ScannedPiece>& out) {
  std::size_t stray_from = from;
  std::size_t pos = from;
  while (pos < to) {
    const FrameAt candidate = at(bytes, to, pos);
    if (candidate.kind != FrameAt::bad_crc) {
      ++pos;
      continue;
    }
    if (stray_from < pos) out.push_back(piece(Kind::stray, bytes, stray_from, pos));
    out.push_back(piece(Kind::bad_crc, bytes, pos, pos + candidate.size));
    pos += candidate.size;
    stray_from = pos;
  }
  if (stray_from < to) out.push_back(piece(Kind::stray, bytes, stray_from, to));
}

}  // namespace

std::vector<ScannedPiece> scan_frames(const std::uint8_t* bytes, std::size_t count) {
  std::vector<ScannedPiece> out;
  std::size_t junk_from = 0;
  std::size_t pos = 0;
  while (pos < count) {
    const FrameAt candidate = at(bytes, count, pos);
    if (candidate.kind == FrameAt::frame) {
      add_junk(bytes, junk_from, pos, out);
      out.push_back(piece(Kind::frame, bytes, pos, pos + candidate.size));
      pos += candidate.size;
      junk_from = pos;
      continue;
    }
    if (candidate.kind == FrameAt::incomplete) {
      // Unfinished here; it is the tail only if no good frame follows.
      std::size_t next = pos + 1;
      while (next < count && at(bytes, count, next).kind != FrameAt::frame) ++next;
      if (next == count) {
        add_junk(bytes, junk_from, pos, out);
        out.push_back(piece(Kind::incomplete, bytes, pos, count));
        return out;
      }
      pos = next;
      continue;
    }
    ++pos;
  }
  add_junk(bytes, junk_from, count, out);
  return out;
}

}  // namespace focus::text
