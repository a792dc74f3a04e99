#include "protocol/frame_receiver.h"

#include <cstring>

#include "protocol/frame_crc.h"

namespace focus::protocol {

void FrameReceiver::commit(std::size_t count) {
  size_ += count < room() ? count : room();
}

void FrameReceiver::consume(std::size_t count) {
  std::memmove(bytes_.data(), bytes_.data() + count, size_ - count);
  size_ -= count;
}

bool FrameReceiver::next_device_frame(Frame& frame) {
  // The first candidate still waiting for bytes; everything before it can
  // be dropped when no frame is found.
  std::size_t keep_from = size_;
  for (std::size_t pos = 0; pos < size_; ++pos) {
    if (bytes_[pos] != kHeader) {
      continue;
    }
    const std::size_t left = size_ - pos;
    if (left < kFrameOverhead || left < bytes_[pos + 2] + kFrameOverhead) {
      if (keep_from == size_) {
        keep_from = pos;
      }
      continue;
    }
    const std::size_t frame_size = bytes_[pos + 2] + kFrameOverhead;
    const std::uint8_t* start = bytes_.data() + pos;
    const std::uint16_t received_crc =
        static_cast<std::uint16_t>(start[frame_size - 2] | (start[frame_size - 1] << 8));
    if (frame_crc(start, frame_size - 2) != received_crc) {
      continue;
    }
    // A complete frame: any earlier incomplete candidate runs into it and
    // so was no frame.
    if (start[1] == kHostDirection) {
      keep_from = size_;
      pos += frame_size - 1;
      continue;
    }
    decode_frame(start, frame_size, frame);
    consume(pos + frame_size);
    return true;
  }
  consume(keep_from);
  return false;
}

}  // namespace focus::protocol
