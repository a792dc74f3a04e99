#include "simulator.h"

#include <algorithm>
#include <cstdio>

#include "frame_text.h"
#include "protocol/frame_crc.h"
#include "protocol/little_endian.h"

namespace focus::sim {

namespace {

// Independent streams from one replay key.
constexpr std::uint64_t kFaultStream = 0x9E3779B97F4A7C15ull;

std::string crc_mismatch(const protocol::Bytes& bytes) {
  const std::size_t body = bytes.size() - 2;
  const std::uint16_t want = protocol::frame_crc(bytes.data(), body);
  const std::uint16_t got = protocol::read_le16(bytes, body);
  char text[64];
  std::snprintf(text, sizeof text, "bad CRC (got %04X, want %04X)", got, want);
  return text;
}

// " [split: 5 bytes, 3 ms, 1, 3 ms, 2]": each piece's size and the pause
// before the next.
std::string split_note(const std::vector<WirePiece>& pieces) {
  std::string note = " [split: ";
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i != 0) note += ", " + std::to_string(pieces[i].pause_ms) + " ms, ";
    note += std::to_string(pieces[i].bytes.size());
    if (i == 0) note += " bytes";
  }
  return note + "]";
}

}  // namespace

Simulator::Simulator(const SimOptions& options, std::uint64_t replay_key, TrafficSink sink)
    : echo_(options.line.echo),
      device_(options.device, replay_key),
      faults_(options.line, replay_key ^ kFaultStream),
      sink_(std::move(sink)) {}

void Simulator::receive(const std::uint8_t* bytes, std::size_t count, std::uint64_t now_ms) {
  if (count == 0) return;
  if (echo_) {
    // The adapter hears its own transmission: every byte, at once.
    protocol::Bytes echoed(bytes, bytes + count);
    log(now_ms, TrafficEvent::Way::to_host, echoed, "echo");
    line_.push_back(Timed{std::max(now_ms, line_free_ms_), std::move(echoed)});
    line_free_ms_ = line_.back().at_ms;
  }
  for (const text::ScannedPiece& piece : reader_.feed(bytes, count, now_ms)) judge(piece, now_ms);
}

void Simulator::judge(const text::ScannedPiece& piece, std::uint64_t now_ms) {
  using Kind = text::ScannedPiece::Kind;
  const auto way = TrafficEvent::Way::to_device;
  switch (piece.kind) {
    case Kind::stray: log(now_ms, way, piece.bytes, "stray bytes, ignored", true); return;
    case Kind::incomplete: log(now_ms, way, piece.bytes, "unfinished frame, given up", true); return;
    case Kind::bad_crc:
      log(now_ms, way, piece.bytes,
          text::describe_frame(piece.frame) + ": " + crc_mismatch(piece.bytes) + ", ignored", true);
      return;
    case Kind::frame: break;
  }
  const std::string what = text::describe_frame(piece.frame);
  if (piece.frame.direction != protocol::kHostDirection) {
    log(now_ms, way, piece.bytes, what + ": not the host's direction, ignored", true);
    return;
  }
  switch (device_.handle(piece.frame, now_ms)) {
    case Handling::answered: log(now_ms, way, piece.bytes, what); break;
    case Handling::refused: log(now_ms, way, piece.bytes, what + " (refused)"); break;
    case Handling::silenced: log(now_ms, way, piece.bytes, what + " (silent: no answer)"); break;
    case Handling::powered_off: log(now_ms, way, piece.bytes, what + " (powered off: no answer)"); break;
  }
}

std::vector<protocol::Bytes> Simulator::take_due(std::uint64_t now_ms) {
  if (std::optional<text::ScannedPiece> stale = reader_.expire(now_ms)) judge(*stale, now_ms);
  for (const Outgoing& reply : device_.take_due(now_ms)) put_on_line(reply, now_ms);
  std::vector<protocol::Bytes> writes;
  while (!line_.empty() && line_.front().at_ms <= now_ms) {
    writes.push_back(std::move(line_.front().bytes));
    line_.pop_front();
  }
  return writes;
}

// A reply goes out after whatever is already on its way, so that the
// pieces of two frames never mix.
void Simulator::put_on_line(const Outgoing& reply, std::uint64_t now_ms) {
  const ShapedReply shaped = faults_.shape(protocol::encode_frame(reply.frame));
  std::uint64_t at = std::max(now_ms, line_free_ms_);
  if (!shaped.noise.empty()) {
    log(at, TrafficEvent::Way::to_host, shaped.noise, "noise", true);
    line_.push_back(Timed{at, shaped.noise});
  }
  std::string note = text::describe_frame(reply.frame);
  if (shaped.flipped_bit) {
    note += " [corrupted: bit " + std::to_string(*shaped.flipped_bit % 8) + " of byte " +
            std::to_string(*shaped.flipped_bit / 8) + " flipped]";
  }
  if (shaped.pieces.size() > 1) note += split_note(shaped.pieces);
  log(at, TrafficEvent::Way::to_host, shaped.sent, note, shaped.flipped_bit.has_value());
  for (const WirePiece& piece : shaped.pieces) {
    at += piece.pause_ms;
    line_.push_back(Timed{at, piece.bytes});
  }
  line_free_ms_ = at;
}

std::optional<std::uint64_t> Simulator::next_due() const {
  std::optional<std::uint64_t> next = device_.next_due();
  const auto earliest = [&next](std::optional<std::uint64_t> other) {
    if (other && (!next || *other < *next)) next = other;
  };
  if (!line_.empty()) earliest(line_.front().at_ms);
  earliest(reader_.expiry_due());
  return next;
}

void Simulator::log(std::uint64_t at_ms, TrafficEvent::Way way, const protocol::Bytes& bytes,
                    std::string note, bool bad) {
  if (sink_) sink_(TrafficEvent{at_ms, way, bytes, std::move(note), bad});
}

}  // namespace focus::sim
