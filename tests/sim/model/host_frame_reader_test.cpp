// The device's side of the line: host frames found however they arrive.
#include "host_frame_reader.h"

#include <gtest/gtest.h>

namespace focus::sim {
namespace {

using protocol::Bytes;
using Kind = text::ScannedPiece::Kind;

const Bytes kLaserOff{0x5A, 0x01, 0x01, 0xA7, 0x01, 0x97, 0xC1};
const Bytes kSysInfo{0x5A, 0x01, 0x01, 0xF5, 0x01, 0xAA, 0xA1};

std::vector<Kind> kinds(const std::vector<text::ScannedPiece>& pieces) {
  std::vector<Kind> out;
  for (const auto& piece : pieces) out.push_back(piece.kind);
  return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(HostFrameReader, AFrameThatArrivesByteByByteIsTakenWhenItsLastByteComes) {
  HostFrameReader reader;
  for (std::size_t i = 0; i + 1 < kLaserOff.size(); ++i) {
    EXPECT_TRUE(reader.feed(&kLaserOff[i], 1, i).empty()) << "byte " << i;
  }
  const auto pieces = reader.feed(&kLaserOff.back(), 1, 10);
  ASSERT_EQ(kinds(pieces), std::vector<Kind>{Kind::frame});
  EXPECT_EQ(pieces[0].frame.command, 0xA7);
  EXPECT_EQ(reader.held(), 0u);
}

TEST(HostFrameReader, StrayBytesAndBadFramesAreReportedAndDoNotHideFrames) {
  Bytes bad = kSysInfo;
  bad[5] ^= 0x01;
  const Bytes stream = concat({{0x00, 0x13}, kLaserOff, bad, kSysInfo});
  HostFrameReader reader;
  const auto pieces = reader.feed(stream.data(), stream.size(), 0);
  ASSERT_EQ(kinds(pieces), (std::vector<Kind>{Kind::stray, Kind::frame, Kind::bad_crc, Kind::frame}));
  EXPECT_EQ(pieces[0].bytes, (Bytes{0x00, 0x13}));
  EXPECT_EQ(pieces[2].bytes, bad);
  EXPECT_EQ(pieces[3].frame.command, 0xF5);
}

TEST(HostFrameReader, AStrayHeaderClaimingALongFrameDoesNotHoldBackTheFramesBehindIt) {
  const Bytes stream = concat({{0x5A, 0x07, 0xFF}, kLaserOff});
  HostFrameReader reader;
  const auto pieces = reader.feed(stream.data(), stream.size(), 0);
  ASSERT_EQ(kinds(pieces), (std::vector<Kind>{Kind::stray, Kind::frame}));
  EXPECT_EQ(reader.held(), 0u);
}

TEST(HostFrameReader, AnUnfinishedFrameIsGivenUpOnceStale) {
  HostFrameReader reader;
  EXPECT_TRUE(reader.feed(kLaserOff.data(), 4, 100).empty());
  EXPECT_EQ(reader.expiry_due(), 100 + HostFrameReader::kStaleMs);
  EXPECT_FALSE(reader.expire(100 + HostFrameReader::kStaleMs - 1));
  const auto stale = reader.expire(100 + HostFrameReader::kStaleMs);
  ASSERT_TRUE(stale);
  EXPECT_EQ(stale->kind, Kind::incomplete);
  EXPECT_EQ(stale->bytes, Bytes(kLaserOff.begin(), kLaserOff.begin() + 4));
  EXPECT_EQ(reader.held(), 0u);
  EXPECT_FALSE(reader.expiry_due());
  // The next frame starts clean.
  EXPECT_EQ(kinds(reader.feed(kSysInfo.data(), kSysInfo.size(), 400)), std::vector<Kind>{Kind::frame});
}

}  // namespace
}  // namespace focus::sim
