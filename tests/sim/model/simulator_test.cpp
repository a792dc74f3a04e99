// The device and its line together on a virtual clock: the line faults as
// the host sees them, the host's bad frames, the traffic log.
#include "simulator.h"

#include <gtest/gtest.h>

#include "hex_text.h"
#include "virtual_line.h"

namespace focus::sim {
namespace {

using protocol::Bytes;
using Kind = text::ScannedPiece::Kind;

const Bytes kLaserOff{0x5A, 0x01, 0x01, 0xA7, 0x01, 0x97, 0xC1};
const Bytes kSingleRange{0x5A, 0x01, 0x01, 0xA9, 0x01, 0x93, 0xA1};

std::vector<std::uint8_t> commands_of(const std::vector<TimedPiece>& frames) {
  std::vector<std::uint8_t> out;
  for (const TimedPiece& timed : frames) out.push_back(timed.piece.frame.command);
  return out;
}

TEST(Simulator, EchoSendsTheHostBytesBackBeforeAnyReply) {
  SimOptions options;
  options.line.echo = true;
  VirtualLine line(options);
  line.host_writes(kLaserOff, 100);
  line.run_until(1000);
  ASSERT_GE(line.writes().size(), 2u);
  EXPECT_EQ(line.writes()[0].at_ms, 100u);
  EXPECT_EQ(line.writes()[0].bytes, kLaserOff);
  const std::vector<TimedPiece> replies = line.device_frames();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].complete_ms, 102u);
}

TEST(Simulator, SplitRepliesArriveInPiecesAndTwoRepliesNeverMix) {
  SimOptions options;
  options.line.split = true;
  VirtualLine line(options, 11);
  line.host_writes(kSingleRange, 0);
  line.run_until(1000);
  EXPECT_GE(line.writes().size(), 4u) << "an ack and a result, each in two or more writes";
  for (std::size_t i = 1; i < line.writes().size(); ++i) {
    EXPECT_GE(line.writes()[i].at_ms, line.writes()[i - 1].at_ms);
  }
  const std::vector<TimedPiece> pieces = line.pieces();
  ASSERT_EQ(pieces.size(), 2u) << "nothing but the two frames";
  EXPECT_EQ(commands_of(line.device_frames()), (std::vector<std::uint8_t>{0xA9, 0xA9}));
  EXPECT_EQ(line.device_frames()[1].piece.frame.payload[0], 3);
  EXPECT_GT(line.writes().back().at_ms, 2u) << "the pauses take time";
}

TEST(Simulator, NoiseComesBetweenFramesAndLeavesThemWhole) {
  SimOptions options;
  options.line.noise = 1.0;
  VirtualLine line(options, 12);
  line.host_writes(kSingleRange, 0);
  line.host_writes(kLaserOff, 500);
  line.run_until(1000);
  EXPECT_EQ(commands_of(line.device_frames()), (std::vector<std::uint8_t>{0xA9, 0xA9, 0xA7}));
  std::size_t noise_bytes = line.received().size();
  for (const TimedPiece& frame : line.device_frames()) noise_bytes -= frame.piece.bytes.size();
  EXPECT_GE(noise_bytes, 3u) << "some stray bytes in front of each of the three frames";
}

TEST(Simulator, CorruptOneLeavesTheHostNoFrameThatPassesItsCrc) {
  SimOptions options;
  options.line.corrupt = 1.0;
  VirtualLine line(options, 13);
  line.host_writes(kSingleRange, 0);
  line.host_writes(kLaserOff, 100);
  line.run_until(1000);
  EXPECT_EQ(line.received().size(), 2 * 9u + 11u) << "every reply is sent";
  EXPECT_TRUE(line.device_frames().empty());
}

TEST(Simulator, TheHostsBadFramesAreIgnoredAndMarkedInTheLog) {
  Bytes bad_crc = kLaserOff;
  bad_crc.back() ^= 0x40;
  Bytes device_direction = protocol::encode_frame(protocol::make_device_frame(0xA7, {1}));
  VirtualLine line;
  line.host_writes(bad_crc, 0);
  line.host_writes(device_direction, 10);
  line.host_writes({0x11, 0x22}, 20);
  line.host_writes({0x5A, 0x01}, 30);  // never finished
  line.run_until(1000);
  EXPECT_TRUE(line.writes().empty());
  ASSERT_EQ(line.events().size(), 4u);
  for (const TrafficEvent& event : line.events()) {
    EXPECT_TRUE(event.bad);
    EXPECT_EQ(event.way, TrafficEvent::Way::to_device);
  }
  EXPECT_NE(line.events()[0].note.find("bad CRC"), std::string::npos) << line.events()[0].note;
  EXPECT_NE(line.events()[1].note.find("not the host's direction"), std::string::npos);
  EXPECT_NE(line.events()[2].note.find("stray"), std::string::npos);
  EXPECT_NE(line.events()[3].note.find("unfinished"), std::string::npos);
  EXPECT_EQ(line.events()[3].at_ms, 30 + HostFrameReader::kStaleMs);
}

TEST(Simulator, TheLogHasOneLinePerFrameEachWay) {
  VirtualLine line;
  line.host_writes(kLaserOff, 40);
  line.run_until(100);
  ASSERT_EQ(line.events().size(), 2u);
  const Bytes ack = protocol::encode_frame(protocol::make_device_frame(0xA7, {1, 1, 0}));
  EXPECT_EQ(format_traffic(line.events()[0]),
            "      40 ms  host->dev  5A 01 01 A7 01 97 C1  laser-off (A7) 01");
  EXPECT_EQ(format_traffic(line.events()[1]),
            "      42 ms  dev->host  " + text::to_hex(ack) + "  laser-off (A7) ack ok");
}

TEST(Simulator, TheLogNamesEachFaultOnTheFrameItHit) {
  SimOptions options;
  options.line = LineOptions{.noise = 1.0, .split = true, .corrupt = 1.0};
  VirtualLine line(options, 14);
  line.host_writes(kLaserOff, 0);
  line.run_until(100);
  ASSERT_EQ(line.events().size(), 3u);
  EXPECT_EQ(line.events()[1].note, "noise");
  EXPECT_TRUE(line.events()[1].bad);
  const std::string& reply = line.events()[2].note;
  EXPECT_NE(reply.find("corrupted: bit"), std::string::npos) << reply;
  EXPECT_NE(reply.find("[split: "), std::string::npos) << reply;
  EXPECT_TRUE(line.events()[2].bad);
}

TEST(Simulator, TheSameReplayKeyAndTrafficGiveTheSameBytesAtTheSameTimes) {
  SimOptions options;
  options.line = LineOptions{.noise = 0.5, .split = true, .corrupt = 0.3};
  const auto run = [&options](std::uint64_t replay_key) {
    VirtualLine line(options, replay_key);
    line.host_sends(0xAA, {1}, 0);
    line.host_writes(kSingleRange, 700);
    line.run_until(1500);
    return line.writes();
  };
  const std::vector<TimedWrite> first = run(5), again = run(5), other = run(6);
  ASSERT_EQ(first.size(), again.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].at_ms, again[i].at_ms);
    EXPECT_EQ(first[i].bytes, again[i].bytes);
  }
  bool differs = first.size() != other.size();
  for (std::size_t i = 0; !differs && i < first.size(); ++i) differs = first[i].bytes != other[i].bytes;
  EXPECT_TRUE(differs);
}

}  // namespace
}  // namespace focus::sim
