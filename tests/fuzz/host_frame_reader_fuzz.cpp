// The simulator's reader of host bytes, fed in chunks at times the fuzzer
// chooses: every byte comes back exactly once, in order, as a frame, a
// frame whose CRC fails, stray bytes or a given-up unfinished frame; each
// piece is what its kind says; what it holds is the head of one frame.
#include <algorithm>
#include <optional>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "host_frame_reader.h"
#include "protocol/frame_crc.h"

namespace {

using focus::protocol::Bytes;
using focus::text::ScannedPiece;

void check_piece(const ScannedPiece& piece, Bytes& settled) {
  using namespace focus::protocol;
  using Kind = ScannedPiece::Kind;
  FUZZ_CHECK(!piece.bytes.empty());
  const Bytes& b = piece.bytes;
  switch (piece.kind) {
    case Kind::frame:
    case Kind::bad_crc: {
      FUZZ_CHECK(b.size() >= kFrameOverhead && b[0] == kHeader && b.size() == b[2] + kFrameOverhead);
      const bool crc_ok = frame_crc(b.data(), b.size() - 2) == (b[b.size() - 2] | (b[b.size() - 1] << 8));
      FUZZ_CHECK(crc_ok == (piece.kind == Kind::frame));
      FUZZ_CHECK(piece.frame.command == b[3] && piece.frame.payload.size() == b[2]);
      break;
    }
    case Kind::incomplete:
      FUZZ_CHECK(b[0] == kHeader && b.size() < kMaxFrameSize);
      if (b.size() >= 3) FUZZ_CHECK(b.size() < b[2] + kFrameOverhead);
      break;
    case Kind::stray: break;
  }
  settled.insert(settled.end(), b.begin(), b.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace focus;
  fuzz::FuzzInput input(data, size);
  sim::HostFrameReader reader;
  Bytes stream;
  Bytes settled;
  std::uint64_t now = 0;

  while (!input.empty()) {
    now += input.byte();  // up to 255 ms later: sometimes past the time an unfinished frame is kept
    if (std::optional<ScannedPiece> stale = reader.expire(now)) {
      FUZZ_CHECK(stale->kind == ScannedPiece::Kind::incomplete);
      check_piece(*stale, settled);
    }
    const Bytes chunk = input.bytes(input.byte());
    stream.insert(stream.end(), chunk.begin(), chunk.end());
    for (const ScannedPiece& piece : reader.feed(chunk.data(), chunk.size(), now)) {
      FUZZ_CHECK(piece.kind != ScannedPiece::Kind::incomplete);
      check_piece(piece, settled);
    }
    FUZZ_CHECK(reader.held() < protocol::kMaxFrameSize);
    FUZZ_CHECK(settled.size() + reader.held() == stream.size());
    FUZZ_CHECK(std::equal(settled.begin(), settled.end(), stream.begin()));
  }
  if (std::optional<ScannedPiece> stale = reader.expire(now + sim::HostFrameReader::kStaleMs)) {
    check_piece(*stale, settled);
  }
  FUZZ_CHECK(reader.held() == 0 && settled == stream);
  return 0;
}
