// The receive path shared by every exchange: the bytes a connection has read
// and not yet consumed, and the search for device frames in them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/frame.h"

namespace focus::protocol {

class FrameReceiver {
 public:
  // Largest read an exchange makes.
  static constexpr std::size_t kMaxRead = 512;
  // What may be held between reads: the head of one incomplete frame.
  static constexpr std::size_t kMaxHeld = kMaxFrameSize - 1;
  static constexpr std::size_t kCapacity = kMaxHeld + kMaxRead;

  // Where the next read may put its bytes, and how many fit.
  std::uint8_t* free_space() { return bytes_.data() + size_; }
  std::size_t room() const { return kCapacity - size_; }
  // Takes `count` bytes just read into free_space(); `count` <= room().
  void commit(std::size_t count);

  // Finds the next device frame: a 0x5A whose N + 6 bytes are all held,
  // whose CRC matches and whose direction is not the host's. It and every
  // byte before it are consumed; the bytes behind it stay. Host-direction
  // frames (an echo of our own request) are consumed and passed over. A
  // candidate whose CRC fails is passed over one byte at a time, and an
  // incomplete candidate does not hide a complete frame behind it. Without
  // a frame, only the bytes that may still begin one are kept.
  bool next_device_frame(Frame& frame);

  void clear() { size_ = 0; }
  std::size_t held() const { return size_; }

 private:
  void consume(std::size_t count);

  std::array<std::uint8_t, kCapacity> bytes_{};
  std::size_t size_ = 0;
};

}  // namespace focus::protocol
