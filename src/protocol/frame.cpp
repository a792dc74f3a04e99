#include "protocol/frame.h"

#include "protocol/frame_crc.h"
#include "protocol/little_endian.h"

namespace focus::protocol {

Frame make_frame(std::uint8_t direction, std::uint8_t command, Bytes payload) {
  Frame frame;
  frame.header = kHeader;
  frame.direction = direction;
  frame.length = static_cast<std::uint8_t>(payload.size() & 0xFFu);
  frame.command = command;
  frame.payload = std::move(payload);
  return frame;
}

Frame make_host_frame(std::uint8_t command, const std::uint8_t* payload, std::size_t size) {
  Frame frame = make_frame(kHostDirection, command, {});
  frame.length = static_cast<std::uint8_t>(size & 0xFFu);
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
  append_le16(out, frame_crc(out.data(), out.size()));
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
  frame.crc = read_le16(bytes + 4 + n);
  return frame_crc(bytes, 4 + n) == frame.crc;
}

}  // namespace focus::protocol
