// The receive path: finding device frames in bytes however they were cut.
#include "protocol/frame_receiver.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "protocol/frame_at.h"
#include "scripted_line.h"

namespace focus::protocol {
namespace {

using testing::ack;
using testing::concat;
using testing::device_frame;

class Receiver : public ::testing::Test {
 protected:
  void feed(const Bytes& bytes) {
    ASSERT_LE(bytes.size(), receiver.room());
    std::copy(bytes.begin(), bytes.end(), receiver.free_space());
    receiver.commit(bytes.size());
  }
  // The commands of every frame found, in order.
  std::vector<int> drain() {
    std::vector<int> commands;
    Frame frame;
    while (receiver.next_device_frame(frame)) commands.push_back(frame.command);
    return commands;
  }
  FrameReceiver receiver;
};

TEST_F(Receiver, FindsBackToBackFramesInOrder) {
  feed(concat({ack(1, 0xA1), ack(1, 0xA2), ack(1, 0xA3)}));
  EXPECT_EQ(drain(), (std::vector<int>{0xA1, 0xA2, 0xA3}));
  EXPECT_EQ(receiver.held(), 0u);
}

TEST_F(Receiver, KeepsTheBytesBehindATakenFrame) {
  const Bytes second = ack(1, 0xA2);
  feed(concat({ack(1, 0xA1), second}));
  Frame frame;
  ASSERT_TRUE(receiver.next_device_frame(frame));
  EXPECT_EQ(frame.command, 0xA1);
  EXPECT_EQ(receiver.held(), second.size());
}

TEST_F(Receiver, PutsTogetherAFrameSplitOverReads) {
  const Bytes frame_bytes = device_frame(0xA9, {0x03, 0x01, 0x00, 0x2C, 0x01});
  for (std::size_t i = 0; i + 1 < frame_bytes.size(); ++i) {
    feed({frame_bytes[i]});
    EXPECT_TRUE(drain().empty()) << "incomplete after byte " << i;
  }
  feed({frame_bytes.back()});
  EXPECT_EQ(drain(), std::vector<int>{0xA9});
}

TEST_F(Receiver, SkipsStrayBytesAndBadFrames) {
  Bytes corrupt = ack(1, 0xA1);
  corrupt[5] ^= 0xFF;
  feed(concat({{0x00, 0xFF, 0x5A, 0x13}, corrupt, {0x11}, ack(1, 0xA4)}));
  EXPECT_EQ(drain(), std::vector<int>{0xA4});
}

TEST_F(Receiver, AFalseHeaderClaimingAFullPayloadHidesNothing) {
  feed(concat({{0x5A, 0x02, 0xFF, 0xA1}, ack(1, 0xA5)}));
  EXPECT_EQ(drain(), std::vector<int>{0xA5});
}

TEST_F(Receiver, PassesOverEchoedHostFrames) {
  const Bytes echo = {0x5A, 0x01, 0x01, 0xA7, 0x01, 0x97, 0xC1};
  feed(concat({echo, ack(1, 0xA7)}));
  EXPECT_EQ(drain(), std::vector<int>{0xA7});
  feed(echo);
  EXPECT_TRUE(drain().empty());
  EXPECT_EQ(receiver.held(), 0u);
}

TEST_F(Receiver, HoldsOnlyWhatMayStillBeginAFrame) {
  const Bytes frame_bytes = ack(1, 0xA1);
  feed(concat({{0x01, 0x02, 0x03}, Bytes(frame_bytes.begin(), frame_bytes.begin() + 4)}));
  EXPECT_TRUE(drain().empty());
  EXPECT_EQ(receiver.held(), 4u) << "stray bytes dropped, the frame's head kept";
  feed(Bytes(frame_bytes.begin() + 4, frame_bytes.end()));
  EXPECT_EQ(drain(), std::vector<int>{0xA1});
}

TEST_F(Receiver, StaysBoundedUnderNoiseWithoutHeaders) {
  for (int round = 0; round < 20; ++round) {
    feed(Bytes(FrameReceiver::kMaxRead, 0x5A));  // every byte a would-be header
    drain();
    EXPECT_LE(receiver.held(), FrameReceiver::kMaxHeld);
  }
  receiver.clear();
  feed(ack(1, 0xA6));
  EXPECT_EQ(drain(), std::vector<int>{0xA6});
}

// The rule both the receive path and the traffic scanner find frames by.
struct FrameAtCase {
  const char* name;
  Bytes bytes;
  FrameAt::Kind kind;
  std::size_t size;
};

TEST(FrameAt, TellsWhatBeginsAtTheFirstByte) {
  const Bytes good = device_frame(0xA7, {0x01, 0x01, 0x00});  // 9 bytes
  Bytes bad_crc = good;
  bad_crc.back() ^= 0x01;
  const Bytes host = {0x5A, 0x01, 0x01, 0xA7, 0x01, 0x97, 0xC1};
  const FrameAtCase cases[] = {
      {"nothing", {}, FrameAt::not_a_frame, 0},
      {"no header", {0x00, 0x5A, 0x01, 0x01, 0xA7, 0x01, 0x97, 0xC1}, FrameAt::not_a_frame, 0},
      {"a header alone", {0x5A}, FrameAt::incomplete, 0},
      {"five of six bytes", {0x5A, 0x02, 0x00, 0xA7, 0x00}, FrameAt::incomplete, 0},
      {"one byte short", Bytes(good.begin(), good.end() - 1), FrameAt::incomplete, 0},
      {"a length claiming more than there is",
       {0x5A, 0x02, 0xFF, 0xA7, 0, 0, 0, 0, 0, 0},
       FrameAt::incomplete,
       0},
      {"a good frame", good, FrameAt::frame, 9},
      {"a good frame with bytes behind it", concat({good, {0x5A, 0x00}}), FrameAt::frame, 9},
      {"a host frame: direction is not judged", host, FrameAt::frame, 7},
      {"a CRC that fails", bad_crc, FrameAt::bad_crc, 9},
      {"an empty payload", device_frame(0xF5, {}), FrameAt::frame, 6},
  };
  for (const FrameAtCase& c : cases) {
    const FrameAt at = frame_at(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(at.kind, c.kind) << c.name;
    EXPECT_EQ(at.size, c.size) << c.name;
  }
}

}  // namespace
}  // namespace focus::protocol
