#include "protocol/frame.h"

#include "protocol/frame_crc.h"

namespace focus::protocol {

Frame make_host_frame(std::uint8_t command, const std::uint8_t* payload, std::size_t size) {
  Frame frame;
  frame.header = kHeader;
  frame.direction = kHostDirection;
  frame.length = static_cast<std::uint8_t>(size & 0xFFu);
  frame.command = command;
  if (payload != nullptr && size != 0) {
    frame.payload.assign(payload, payload + size);
  }
  return frame;
}

Bytes encode_frame(const Frame& frame) {
  Bytes out;
  out.reserve(frame.payload.size() + kFrameOverhead);
  out.push_back(frame.header);
  out.push_back(frame.direction);
  out.push_back(frame.length);
  out.push_back(frame.command);
  out.insert(out.end(), frame.payload.begin(), frame.payload.end());
  const std::uint16_t crc = frame_crc(out.data(), out.size());
  out.push_back(static_cast<std::uint8_t>(crc & 0xFFu));
  out.push_back(static_cast<std::uint8_t>(crc >> 8));
  return out;
}

bool decode_frame(const std::uint8_t* bytes, std::size_t count, Frame& frame) {
  if (bytes == nullptr || count < kFrameOverhead) {
    return false;
  }
  frame.header = bytes[0];
  frame.direction = bytes[1];
  frame.length = bytes[2];
  frame.command = bytes[3];
  const std::size_t n = frame.length;
  if (count < n + kFrameOverhead) {
    return false;
  }
  frame.payload.assign(bytes + 4, bytes + 4 + n);
  frame.crc = static_cast<std::uint16_t>(bytes[4 + n] | (bytes[5 + n] << 8));
  return frame_crc(bytes, 4 + n) == frame.crc;
}

}  // namespace focus::protocol
