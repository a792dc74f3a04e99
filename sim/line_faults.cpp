#include "line_faults.h"

#include <algorithm>

namespace focus::sim {

LineFaults::LineFaults(const LineOptions& options, std::uint64_t replay_key)
    : options_(options), random_(replay_key) {}

ShapedReply LineFaults::shape(const protocol::Bytes& frame) {
  ShapedReply out;
  if (options_.noise > 0.0 && std::bernoulli_distribution(options_.noise)(random_)) {
    const std::size_t count = std::uniform_int_distribution<std::size_t>(1, kMaxNoiseBytes)(random_);
    std::uniform_int_distribution<int> value(0, 255);
    for (std::size_t i = 0; i < count; ++i) out.noise.push_back(static_cast<std::uint8_t>(value(random_)));
  }
  out.sent = frame;
  if (options_.corrupt > 0.0 && !frame.empty() && std::bernoulli_distribution(options_.corrupt)(random_)) {
    const std::size_t bit = std::uniform_int_distribution<std::size_t>(0, frame.size() * 8 - 1)(random_);
    out.sent[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    out.flipped_bit = bit;
  }
  if (options_.split && out.sent.size() >= 2) {
    out.pieces = cut(out.sent);
  } else {
    out.pieces.push_back(WirePiece{0, out.sent});
  }
  return out;
}

// Two to four pieces, cut at distinct random places, with 1 to 5 ms
// between them.
std::vector<WirePiece> LineFaults::cut(const protocol::Bytes& bytes) {
  const std::size_t most = std::min(kMaxPieces, bytes.size());
  const std::size_t count = std::uniform_int_distribution<std::size_t>(2, most)(random_);
  std::vector<std::size_t> cuts;
  std::uniform_int_distribution<std::size_t> where(1, bytes.size() - 1);
  while (cuts.size() + 1 < count) {
    const std::size_t at = where(random_);
    if (std::find(cuts.begin(), cuts.end(), at) == cuts.end()) cuts.push_back(at);
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.push_back(bytes.size());
  std::vector<WirePiece> pieces;
  std::uniform_int_distribution<std::uint32_t> pause(1, kMaxPauseMs);
  std::size_t from = 0;
  for (std::size_t to : cuts) {
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(from);
    const auto last = bytes.begin() + static_cast<std::ptrdiff_t>(to);
    pieces.push_back(WirePiece{pieces.empty() ? 0 : pause(random_), protocol::Bytes(first, last)});
    from = to;
  }
  return pieces;
}

}  // namespace focus::sim
