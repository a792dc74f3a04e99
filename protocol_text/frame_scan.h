// Cuts a run of received bytes into frames and what lies between them, so
// that people (the traffic log, `focusctl decode`) see every byte accounted
// for: good frames, frames whose CRC fails, stray bytes, and an unfinished
// frame at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/frame.h"

namespace focus::text {

struct ScannedPiece {
  enum class Kind {
    frame,       // a 0x5A frame whose CRC matches
    bad_crc,     // a 0x5A, a length and all its bytes, but the CRC fails
    stray,       // bytes that begin no frame
    incomplete,  // a 0x5A whose frame has not fully arrived; always last
  };
  Kind kind;
  std::size_t offset;     // of the first byte in the scanned run
  protocol::Bytes bytes;  // the piece's bytes
  protocol::Frame frame;  // the fields, for frame and bad_crc
};

// Frames are found by the library's receive rule (protocol/frame_at.h), so
// that the log and decode show what the library would take: by their 0x5A
// header wherever they start; a frame that is complete and good is taken
// even inside the span of an earlier candidate whose CRC failed or that
// claims more bytes than there are.
std::vector<ScannedPiece> scan_frames(const std::uint8_t* bytes, std::size_t count);

}  // namespace focus::text
