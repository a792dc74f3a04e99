#include "protocol/frame_receiver.h"

#include <cstring>

#include "protocol/frame_at.h"

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
    const FrameAt at = frame_at(bytes_.data() + pos, size_ - pos);
    if (at.kind == FrameAt::incomplete) {
      if (keep_from == size_) {
        keep_from = pos;
      }
      continue;
    }
    if (at.kind != FrameAt::frame) {
      continue;
    }
    // A complete frame: any earlier incomplete candidate runs into it and
    // so was no frame.
    if (bytes_[pos + 1] == kHostDirection) {
      keep_from = size_;
      pos += at.size - 1;
      continue;
    }
    decode_frame(bytes_.data() + pos, at.size, frame);
    consume(pos + at.size);
    return true;
  }
  consume(keep_from);
  return false;
}

}  // namespace focus::protocol
