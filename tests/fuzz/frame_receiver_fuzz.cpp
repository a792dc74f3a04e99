// The receive path every exchange shares, fed in chunks the fuzzer chooses:
// each frame it hands out is a CRC-valid device frame that occurs in the
// stream, later than the one before; it never holds more than its bound;
// and it finds exactly what a plain reference finder finds.
#include <algorithm>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "protocol/frame_crc.h"
#include "protocol/frame_receiver.h"

namespace focus::fuzz {
namespace {

using protocol::Bytes;
using protocol::FrameReceiver;

// Where a frame was found in the whole stream, and its bytes.
struct Found {
  std::size_t at;
  Bytes bytes;
};

// The receiver's rule, written for clarity and not for speed: the first
// 0x5A whose whole frame is held and whose CRC matches is a frame; a frame
// in the host's direction is passed over whole; the first device frame is
// taken, with everything before it. Nothing is trimmed except what a frame
// (taken or passed over) covers: bytes no rule can use again cost nothing
// here.
class ReferenceFinder {
 public:
  void add(const std::uint8_t* bytes, std::size_t count) { held_.insert(held_.end(), bytes, bytes + count); }

  bool next(Found& found) {
    std::size_t passed_to = 0;  // end of the last host frame passed over
    for (std::size_t pos = 0; pos < held_.size(); ++pos) {
      if (pos < passed_to || !good_frame_at(pos)) continue;
      const std::size_t size = held_[pos + 2] + protocol::kFrameOverhead;
      if (held_[pos + 1] == protocol::kHostDirection) {
        passed_to = pos + size;
        continue;
      }
      found = Found{base_ + pos, Bytes(held_.begin() + pos, held_.begin() + pos + size)};
      drop(pos + size);
      return true;
    }
    drop(passed_to);
    return false;
  }

 private:
  bool good_frame_at(std::size_t pos) const {
    if (held_[pos] != protocol::kHeader || held_.size() - pos < protocol::kFrameOverhead) return false;
    const std::size_t size = held_[pos + 2] + protocol::kFrameOverhead;
    if (held_.size() - pos < size) return false;
    // Bit by bit, independent of the library's table.
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = pos; i < pos + size - 2; ++i) {
      crc ^= held_[i];
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc == (held_[pos + size - 2] | (held_[pos + size - 1] << 8));
  }
  void drop(std::size_t count) {
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(count));
    base_ += count;
  }

  Bytes held_;
  std::size_t base_ = 0;  // stream offset of held_[0]
};

}  // namespace
}  // namespace focus::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace focus::fuzz;
  using namespace focus::protocol;
  FuzzInput input(data, size);
  FrameReceiver receiver;
  ReferenceFinder reference;
  Bytes stream;
  std::size_t next_unused = 0;  // a frame handed out must start here or later

  while (!input.empty()) {
    // A read: up to as much as the exchanges ask for, never more than fits.
    const std::size_t wanted = input.byte() * 2 + input.pick(2);
    Bytes chunk = input.bytes(std::min({wanted, receiver.room(), FrameReceiver::kMaxRead}));
    std::copy(chunk.begin(), chunk.end(), receiver.free_space());
    receiver.commit(chunk.size());
    reference.add(chunk.data(), chunk.size());
    stream.insert(stream.end(), chunk.begin(), chunk.end());
    FUZZ_CHECK(receiver.held() <= FrameReceiver::kCapacity);

    for (;;) {
      Frame frame;
      Found expected;
      const bool got = receiver.next_device_frame(frame);
      const bool want = reference.next(expected);
      FUZZ_CHECK(got == want);
      if (!got) break;

      const Bytes bytes = encode_frame(frame);
      FUZZ_CHECK(bytes == expected.bytes);
      FUZZ_CHECK(frame.header == kHeader && frame.direction != kHostDirection);
      FUZZ_CHECK(frame.length == frame.payload.size());
      FUZZ_CHECK(frame_crc(bytes.data(), bytes.size() - 2) == frame.crc);
      // In the stream, where the reference found it, after the last one.
      FUZZ_CHECK(expected.at >= next_unused);
      FUZZ_CHECK(
          std::equal(bytes.begin(), bytes.end(), stream.begin() + static_cast<std::ptrdiff_t>(expected.at)));
      next_unused = expected.at + bytes.size();
    }
    // Between reads only the head of one unfinished frame stays.
    FUZZ_CHECK(receiver.held() <= FrameReceiver::kMaxHeld);
  }
  return 0;
}
