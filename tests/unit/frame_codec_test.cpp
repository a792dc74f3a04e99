// The frame codec and its CRC against known vectors and every fault.
#include <gtest/gtest.h>

#include <cstring>

#include "protocol/frame.h"
#include "protocol/frame_crc.h"
#include "scripted_line.h"

namespace focus::protocol {
namespace {

using testing::hex;

constexpr std::uint8_t kCheckInput[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
static_assert(frame_crc(kCheckInput, 9) == 0x4B37, "the CRC table is fixed when the library is built");

TEST(FrameCrc, MatchesModbusCheckValues) {
  const char* check = "123456789";
  EXPECT_EQ(frame_crc(reinterpret_cast<const std::uint8_t*>(check), 9), 0x4B37);
  EXPECT_EQ(frame_crc(nullptr, 0), 0xFFFF);
  EXPECT_EQ(kCrcTable[1], 0xC0C1);
  EXPECT_EQ(kCrcTable[255], 0x4040);
}

struct EncodeCase {
  const char* name;
  std::uint8_t command;
  Bytes payload;
  const char* expected;
};

class EncodeHostFrame : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeHostFrame, WritesHeadPayloadAndCrc) {
  const EncodeCase& c = GetParam();
  const Bytes bytes = encode_frame(make_host_frame(c.command, c.payload.data(), c.payload.size()));
  EXPECT_EQ(hex(bytes), c.expected);
  EXPECT_EQ(bytes.size(), c.payload.size() + 6);
}

INSTANTIATE_TEST_SUITE_P(Vectors, EncodeHostFrame,
                         ::testing::Values(EncodeCase{"single_focus", 0xA1, {0x01}, "5A 01 01 A1 01 94 61"},
                                           EncodeCase{"sys_info", 0xF5, {0x01}, "5A 01 01 F5 01 AA A1"},
                                           EncodeCase{"empty_payload", 0xA1, {}, "5A 01 00 A1 82 84"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EncodeFrame, WritesTheLengthFieldUncorrected) {
  Frame frame = make_host_frame(0xA7, nullptr, 0);
  frame.length = 3;
  frame.payload = {0x01};
  const Bytes bytes = encode_frame(frame);
  ASSERT_EQ(bytes.size(), 7u);
  EXPECT_EQ(bytes[2], 3);
  EXPECT_EQ(bytes[4], 0x01);
  const std::uint16_t crc = frame_crc(bytes.data(), 5);
  EXPECT_EQ(bytes[5], crc & 0xFF);
  EXPECT_EQ(bytes[6], crc >> 8);
}

TEST(MakeHostFrame, CopiesThePayloadOnlyWhenThereIsOne) {
  const std::uint8_t byte = 0x01;
  EXPECT_TRUE(make_host_frame(0xA1, nullptr, 4).payload.empty());
  EXPECT_EQ(make_host_frame(0xA1, nullptr, 4).length, 4);
  EXPECT_TRUE(make_host_frame(0xA1, &byte, 0).payload.empty());
  const Bytes long_payload(257, 0x01);
  EXPECT_EQ(make_host_frame(0xA1, long_payload.data(), long_payload.size()).length, 1)
      << "the low 8 bits of the length";
}

TEST(DecodeFrame, ReadsEveryFieldOfAGoodFrame) {
  const Bytes bytes = {0x5A, 0x01, 0x01, 0xA1, 0x01, 0x94, 0x61, 0xEE, 0xEE};
  Frame frame;
  ASSERT_TRUE(decode_frame(bytes.data(), bytes.size(), frame)) << "trailing bytes are ignored";
  EXPECT_EQ(frame.header, 0x5A);
  EXPECT_EQ(frame.direction, 0x01);
  EXPECT_EQ(frame.length, 1);
  EXPECT_EQ(frame.command, 0xA1);
  EXPECT_EQ(frame.payload, Bytes{0x01});
  EXPECT_EQ(frame.crc, 0x6194);
}

TEST(DecodeFrame, RoundTripsAnEncodedFrame) {
  Frame sent;
  sent.header = 0x33;  // the codec does not judge the header or direction
  sent.direction = 0x01;
  sent.command = 0xF5;
  for (int i = 0; i < 255; ++i) sent.payload.push_back(static_cast<std::uint8_t>(i * 7));
  sent.length = 255;
  const Bytes bytes = encode_frame(sent);
  Frame got;
  ASSERT_TRUE(decode_frame(bytes.data(), bytes.size(), got));
  EXPECT_EQ(got.header, sent.header);
  EXPECT_EQ(got.command, sent.command);
  EXPECT_EQ(got.payload, sent.payload);
  EXPECT_EQ(got.crc, bytes[259] | (bytes[260] << 8));
}

TEST(DecodeFrame, LeavesTheRecordAsTheFaultAllows) {
  const Bytes good = {0x5A, 0x01, 0x01, 0xA1, 0x01, 0x94, 0x61};
  Frame untouched;
  EXPECT_FALSE(decode_frame(nullptr, 7, untouched));
  EXPECT_FALSE(decode_frame(good.data(), 5, untouched));
  EXPECT_EQ(untouched.header, 0);
  EXPECT_EQ(untouched.command, 0);
  EXPECT_EQ(untouched.crc, 0);

  const Bytes short_frame = {0x5A, 0x02, 0x01, 0xA1, 0x01, 0x94};
  Frame head_only;
  head_only.payload = {0x77};
  EXPECT_FALSE(decode_frame(short_frame.data(), short_frame.size(), head_only));
  EXPECT_EQ(head_only.header, 0x5A);
  EXPECT_EQ(head_only.direction, 0x02);
  EXPECT_EQ(head_only.length, 1);
  EXPECT_EQ(head_only.command, 0xA1);
  EXPECT_EQ(head_only.payload, Bytes{0x77}) << "payload untouched";
  EXPECT_EQ(head_only.crc, 0);

  Bytes bad_crc = good;
  bad_crc[6] ^= 0x01;
  Frame filled;
  filled.payload = {0x10, 0x20};
  EXPECT_FALSE(decode_frame(bad_crc.data(), bad_crc.size(), filled));
  EXPECT_EQ(filled.payload, Bytes{0x01}) << "replaced, not appended to";
  EXPECT_EQ(filled.crc, bad_crc[5] | (bad_crc[6] << 8));
}

TEST(DecodeFrame, RejectsAnyChangedByteButTheLength) {
  const Bytes good = testing::device_frame(0xA9, {0x03, 0x01, 0x00, 0x2C, 0x01});
  for (std::size_t at = 0; at < good.size(); ++at) {
    if (at == 2) continue;
    Bytes changed = good;
    changed[at] ^= 0x10;
    Frame frame;
    EXPECT_FALSE(decode_frame(changed.data(), changed.size(), frame)) << "byte " << at;
  }
  Bytes swapped = good;
  std::swap(swapped[swapped.size() - 1], swapped[swapped.size() - 2]);
  Frame frame;
  EXPECT_NE(good[good.size() - 1], good[good.size() - 2]);
  EXPECT_FALSE(decode_frame(swapped.data(), swapped.size(), frame));
}

}  // namespace
}  // namespace focus::protocol
