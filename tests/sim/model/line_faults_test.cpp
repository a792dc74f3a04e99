// Each line fault does what it says, and nothing when it is off.
#include "line_faults.h"

#include <gtest/gtest.h>

#include <bit>

#include "device.h"

namespace focus::sim {
namespace {

using protocol::Bytes;

const Bytes kAck = protocol::encode_frame(protocol::make_device_frame(0xA7, {1, 1, 0}));
const Bytes kResult = protocol::encode_frame(protocol::make_device_frame(0xA9, {3, 1, 0, 0x20, 0x4E}));

Bytes joined(const std::vector<WirePiece>& pieces) {
  Bytes all;
  for (const WirePiece& piece : pieces) all.insert(all.end(), piece.bytes.begin(), piece.bytes.end());
  return all;
}

TEST(LineFaults, WithNoFaultEveryFrameGoesOutWholeAndUnchanged) {
  LineFaults faults(LineOptions{}, 1);
  for (int i = 0; i < 100; ++i) {
    const ShapedReply shaped = faults.shape(kResult);
    EXPECT_TRUE(shaped.noise.empty());
    EXPECT_FALSE(shaped.flipped_bit);
    ASSERT_EQ(shaped.pieces.size(), 1u);
    EXPECT_EQ(shaped.pieces[0].bytes, kResult);
    EXPECT_EQ(shaped.pieces[0].pause_ms, 0u);
  }
}

TEST(LineFaults, NoiseComesInFrontOfFramesAtTheGivenProbability) {
  LineFaults always(LineOptions{.noise = 1.0}, 2);
  for (int i = 0; i < 200; ++i) {
    const ShapedReply shaped = always.shape(kAck);
    EXPECT_GE(shaped.noise.size(), 1u);
    EXPECT_LE(shaped.noise.size(), LineFaults::kMaxNoiseBytes);
    EXPECT_EQ(joined(shaped.pieces), kAck) << "noise never touches the frame";
  }
  LineFaults sometimes(LineOptions{.noise = 0.3}, 3);
  int noisy = 0;
  for (int i = 0; i < 4000; ++i) noisy += sometimes.shape(kAck).noise.empty() ? 0 : 1;
  EXPECT_NEAR(noisy / 4000.0, 0.3, 0.04);
}

TEST(LineFaults, CorruptFlipsExactlyOneBitAndTheCrcCatchesIt) {
  LineFaults faults(LineOptions{.corrupt = 1.0}, 4);
  for (int i = 0; i < 300; ++i) {
    const ShapedReply shaped = faults.shape(kResult);
    ASSERT_TRUE(shaped.flipped_bit);
    ASSERT_EQ(shaped.sent.size(), kResult.size());
    int flipped = 0;
    for (std::size_t b = 0; b < kResult.size(); ++b)
      flipped += std::popcount<unsigned>(shaped.sent[b] ^ kResult[b]);
    EXPECT_EQ(flipped, 1);
    EXPECT_NE(shaped.sent[*shaped.flipped_bit / 8], kResult[*shaped.flipped_bit / 8]);
    protocol::Frame frame;
    EXPECT_FALSE(protocol::decode_frame(shaped.sent.data(), shaped.sent.size(), frame))
        << "bit " << *shaped.flipped_bit << ": a corrupted reply must not pass its CRC";
    EXPECT_EQ(joined(shaped.pieces), shaped.sent);
  }
}

TEST(LineFaults, SplitCutsEveryFrameIntoTwoToFourPiecesWithShortPauses) {
  LineFaults faults(LineOptions{.split = true}, 5);
  std::size_t most = 0;
  for (int i = 0; i < 300; ++i) {
    const ShapedReply shaped = faults.shape(kResult);
    ASSERT_GE(shaped.pieces.size(), 2u);
    ASSERT_LE(shaped.pieces.size(), LineFaults::kMaxPieces);
    most = std::max(most, shaped.pieces.size());
    EXPECT_EQ(shaped.pieces[0].pause_ms, 0u);
    for (std::size_t p = 0; p < shaped.pieces.size(); ++p) {
      EXPECT_FALSE(shaped.pieces[p].bytes.empty());
      if (p > 0) {
        EXPECT_GE(shaped.pieces[p].pause_ms, 1u);
        EXPECT_LE(shaped.pieces[p].pause_ms, LineFaults::kMaxPauseMs);
      }
    }
    EXPECT_EQ(joined(shaped.pieces), kResult);
  }
  EXPECT_EQ(most, LineFaults::kMaxPieces);
}

TEST(LineFaults, TheSameReplayKeyGivesTheSameFaults) {
  const LineOptions all{.noise = 0.5, .split = true, .corrupt = 0.5};
  LineFaults first(all, 99), second(all, 99), other(all, 100);
  bool differs = false;
  for (int i = 0; i < 50; ++i) {
    const ShapedReply a = first.shape(kResult), b = second.shape(kResult), c = other.shape(kResult);
    EXPECT_EQ(a.noise, b.noise);
    EXPECT_EQ(a.sent, b.sent);
    ASSERT_EQ(a.pieces.size(), b.pieces.size());
    for (std::size_t p = 0; p < a.pieces.size(); ++p) EXPECT_EQ(a.pieces[p].bytes, b.pieces[p].bytes);
    differs = differs || a.noise != c.noise || a.sent != c.sent || a.pieces.size() != c.pieces.size();
  }
  EXPECT_TRUE(differs) << "another replay_key, other faults";
}

}  // namespace
}  // namespace focus::sim
