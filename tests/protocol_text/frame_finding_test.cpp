// The library's receive path and the traffic scanner (the simulator's
// host-frame reader, focusctl decode) find the same frames in the same
// bytes: fed one random stream each, the device frames the receiver hands
// out are the good device frames the scanner reports, and what the
// receiver keeps for later is the scanner's unfinished tail.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "frame_scan.h"
#include "hex_text.h"
#include "protocol/frame.h"
#include "protocol/frame_receiver.h"

namespace focus::text {
namespace {

using protocol::Bytes;
using protocol::Frame;
using Kind = ScannedPiece::Kind;

// A stream of what a line may carry: device and host frames, frames with a
// broken CRC or cut short, false headers and noise rich in 0x5A.
class StreamMaker {
 public:
  explicit StreamMaker(std::uint32_t key) : random_(key) {}

  Bytes stream(std::size_t limit) {
    Bytes out;
    while (true) {
      const Bytes part = piece();
      if (out.size() + part.size() > limit) return out;
      out.insert(out.end(), part.begin(), part.end());
    }
  }

 private:
  std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
  std::uint8_t byte() { return static_cast<std::uint8_t>(below(256)); }

  Bytes frame() {
    Bytes payload(below(4) == 0 ? below(40) : below(6));
    for (std::uint8_t& b : payload) b = below(8) == 0 ? protocol::kHeader : byte();
    const std::uint8_t direction = below(3) == 0 ? protocol::kHostDirection : below(4) == 0 ? byte() : 0x02;
    return protocol::encode_frame(protocol::make_frame(direction, 0xA0 + below(0x60), payload));
  }

  Bytes piece() {
    switch (below(8)) {
      case 0:
      case 1:
      case 2: return frame();
      case 3: {  // a bit flipped anywhere
        Bytes f = frame();
        f[below(f.size())] ^= static_cast<std::uint8_t>(1u << below(8));
        return f;
      }
      case 4: {  // cut short
        Bytes f = frame();
        f.resize(1 + below(f.size() - 1));
        return f;
      }
      case 5: return {protocol::kHeader, byte(), byte()};  // a false header
      default: {
        Bytes noise(1 + below(6));
        for (std::uint8_t& b : noise) b = below(3) == 0 ? protocol::kHeader : byte();
        return noise;
      }
    }
  }

  std::mt19937 random_;
};

bool same_frame(const Frame& a, const Frame& b) {
  return a.header == b.header && a.direction == b.direction && a.length == b.length &&
         a.command == b.command && a.payload == b.payload && a.crc == b.crc;
}

TEST(FrameFinding, ReceiverAndScannerAgreeOnRandomStreams) {
  for (std::uint32_t key = 1; key <= 3000; ++key) {
    const Bytes stream = StreamMaker(key).stream(protocol::FrameReceiver::kCapacity);
    SCOPED_TRACE("stream " + std::to_string(key) + ": " + to_hex(stream));

    protocol::FrameReceiver receiver;
    std::copy(stream.begin(), stream.end(), receiver.free_space());
    receiver.commit(stream.size());
    std::vector<Frame> received;
    Frame frame;
    while (receiver.next_device_frame(frame)) received.push_back(frame);

    std::vector<Frame> scanned;
    std::size_t unfinished = 0;
    for (const ScannedPiece& piece : scan_frames(stream.data(), stream.size())) {
      if (piece.kind == Kind::frame && piece.frame.direction != protocol::kHostDirection) {
        scanned.push_back(piece.frame);
      }
      if (piece.kind == Kind::incomplete) unfinished = piece.bytes.size();
    }

    ASSERT_EQ(received.size(), scanned.size());
    for (std::size_t i = 0; i < received.size(); ++i) {
      ASSERT_TRUE(same_frame(received[i], scanned[i])) << "frame " << i;
    }
    ASSERT_EQ(receiver.held(), unfinished);
  }
}

}  // namespace
}  // namespace focus::text
