#include "frame_scan.h"

namespace focus::text {

namespace {

using Kind = ScannedPiece::Kind;

// Bytes from `pos` that a frame starting there needs; 0 when the head
// itself has not arrived.
std::size_t frame_size_at(const std::uint8_t* bytes, std::size_t count, std::size_t pos) {
  if (count - pos < protocol::kFrameOverhead) return 0;
  return bytes[pos + 2] + protocol::kFrameOverhead;
}

bool good_frame_at(const std::uint8_t* bytes, std::size_t count, std::size_t pos) {
  if (bytes[pos] != protocol::kHeader) return false;
  const std::size_t size = frame_size_at(bytes, count, pos);
  if (size == 0 || count - pos < size) return false;
  protocol::Frame ignored;
  return protocol::decode_frame(bytes + pos, size, ignored);
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
    const std::size_t size = bytes[pos] == protocol::kHeader ? frame_size_at(bytes, to, pos) : 0;
    if (size == 0 || to - pos < size) {
      ++pos;
      continue;
    }
    if (stray_from < pos) out.push_back(piece(Kind::stray, bytes, stray_from, pos));
    out.push_back(piece(Kind::bad_crc, bytes, pos, pos + size));
    pos += size;
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
    if (good_frame_at(bytes, count, pos)) {
      add_junk(bytes, junk_from, pos, out);
      const std::size_t size = frame_size_at(bytes, count, pos);
      out.push_back(piece(Kind::frame, bytes, pos, pos + size));
      pos += size;
      junk_from = pos;
      continue;
    }
    if (bytes[pos] == protocol::kHeader) {
      const std::size_t size = frame_size_at(bytes, count, pos);
      if (size == 0 || count - pos < size) {
        // Unfinished here; it is the tail only if no good frame follows.
        std::size_t next = pos + 1;
        while (next < count && !good_frame_at(bytes, count, next)) ++next;
        if (next == count) {
          add_junk(bytes, junk_from, pos, out);
          out.push_back(piece(Kind::incomplete, bytes, pos, count));
          return out;
        }
        pos = next;
        continue;
      }
    }
    ++pos;
  }
  add_junk(bytes, junk_from, count, out);
  return out;
}

}  // namespace focus::text
