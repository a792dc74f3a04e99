// The codec on arbitrary bytes: decode_frame says true exactly for a
// complete frame whose CRC matches, fills what it says it fills, and reads
// nothing past the frame; encode_frame then decode_frame gives back every
// field.
#include <algorithm>
#include <memory>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "protocol/frame_crc.h"

namespace {

using focus::protocol::Bytes;
using focus::protocol::Frame;

// Bit by bit, independent of the library's table.
std::uint16_t reference_crc(const std::uint8_t* bytes, std::size_t count) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

void check_decode(const Bytes& bytes) {
  using namespace focus::protocol;
  // A copy of exactly the given size, so that a read past it is caught.
  const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size() + 1]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  Frame frame;
  frame.payload = {0xEE};
  frame.crc = 0x1234;
  const bool ok = decode_frame(bytes.empty() ? nullptr : exact.get(), bytes.size(), frame);

  if (bytes.size() < kFrameOverhead) {
    FUZZ_CHECK(!ok && frame.header == 0 && frame.payload == Bytes{0xEE} && frame.crc == 0x1234);
    return;
  }
  FUZZ_CHECK(frame.header == bytes[0] && frame.direction == bytes[1] && frame.length == bytes[2] &&
             frame.command == bytes[3]);
  const std::size_t size = bytes[2] + kFrameOverhead;
  if (bytes.size() < size) {
    FUZZ_CHECK(!ok && frame.payload == Bytes{0xEE} && frame.crc == 0x1234);
    return;
  }
  FUZZ_CHECK(frame.payload ==
             Bytes(bytes.begin() + 4, bytes.begin() + static_cast<std::ptrdiff_t>(size - 2)));
  FUZZ_CHECK(frame.crc == (bytes[size - 2] | (bytes[size - 1] << 8)));
  FUZZ_CHECK(ok == (reference_crc(bytes.data(), size - 2) == frame.crc));
  if (ok)
    FUZZ_CHECK(encode_frame(frame) ==
               Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)));
}

void check_round_trip(focus::fuzz::FuzzInput& input) {
  using namespace focus::protocol;
  Frame sent;
  sent.header = input.byte();
  sent.direction = input.byte();
  sent.command = input.byte();
  // Mostly a length that matches the payload, sometimes one that does not.
  const bool honest = input.pick(4) != 0;
  const std::uint8_t stated = input.byte();
  sent.payload = input.bytes(input.byte());
  sent.length = honest ? static_cast<std::uint8_t>(sent.payload.size()) : stated;
  sent.crc = input.word();  // never read by the encoder

  const Bytes bytes = encode_frame(sent);
  FUZZ_CHECK(bytes.size() == sent.payload.size() + kFrameOverhead);
  FUZZ_CHECK(bytes[2] == sent.length);
  const std::uint16_t crc = reference_crc(bytes.data(), bytes.size() - 2);
  FUZZ_CHECK(bytes[bytes.size() - 2] == (crc & 0xFF) && bytes[bytes.size() - 1] == (crc >> 8));

  Frame back;
  const bool ok = decode_frame(bytes.data(), bytes.size(), back);
  if (sent.length == sent.payload.size()) {
    FUZZ_CHECK(ok);
    FUZZ_CHECK(back.header == sent.header && back.direction == sent.direction && back.length == sent.length &&
               back.command == sent.command && back.payload == sent.payload && back.crc == crc);
  }
  check_decode(bytes);

  // A host frame as send_command builds it.
  const Frame host = make_host_frame(sent.command, sent.payload.data(), sent.payload.size());
  FUZZ_CHECK(host.header == kHeader && host.direction == kHostDirection && host.command == sent.command &&
             host.length == static_cast<std::uint8_t>(sent.payload.size()) && host.payload == sent.payload);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  focus::fuzz::FuzzInput input(data, size);
  if (input.pick(2) == 0) {
    check_decode(input.rest());
  } else {
    check_round_trip(input);
  }
  return 0;
}
