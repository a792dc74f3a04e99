// How frames, bytes and commands are spelled for people: shared by
// focusctl's encode/decode and the simulator's traffic log.
#include <gtest/gtest.h>

#include <set>

#include "command_catalog.h"
#include "frame_scan.h"
#include "frame_text.h"
#include "hex_text.h"
#include "protocol/command_codes.h"

namespace focus::text {
namespace {

using protocol::Bytes;
using Kind = ScannedPiece::Kind;

Bytes hex(std::string_view text) {
  Bytes out;
  std::string error;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    EXPECT_TRUE(append_hex_token(text.substr(start, end - start), out, error)) << error;
    start = end + 1;
  }
  return out;
}

TEST(HexText, BytesRoundTripThroughText) {
  EXPECT_EQ(to_hex(Bytes{0x5A, 0x01, 0x0F, 0xC1}), "5A 01 0F C1");
  EXPECT_EQ(to_hex(Bytes{}), "");
  EXPECT_EQ(parse_byte("0x2c"), 0x2C);
  EXPECT_EQ(parse_byte("2C"), 0x2C);
  EXPECT_EQ(parse_byte("7"), 0x07);
  for (const char* bad : {"", "0x", "100", "G1", "0x1FF", "-1", " 1"}) EXPECT_FALSE(parse_byte(bad)) << bad;
}

TEST(HexText, TokensMayHoldOneByteOrARunOrASeparatedList) {
  Bytes out;
  std::string error;
  ASSERT_TRUE(append_hex_token("5A0101", out, error));
  ASSERT_TRUE(append_hex_token("0xA7", out, error));
  ASSERT_TRUE(append_hex_token("1", out, error));
  ASSERT_TRUE(append_hex_token("97,C1:00", out, error));
  EXPECT_EQ(out, (Bytes{0x5A, 0x01, 0x01, 0xA7, 0x01, 0x97, 0xC1, 0x00}));
  for (const char* bad : {"5A0", "zz", "0x5A01", "12,x"}) {
    Bytes ignored;
    EXPECT_FALSE(append_hex_token(bad, ignored, error)) << bad;
    EXPECT_NE(error.find("not hex"), std::string::npos);
  }
}

TEST(CommandCatalog, NamesEveryCommandOnceAndReadsHexOrNames) {
  std::set<std::uint8_t> codes;
  std::set<std::string_view> names;
  for (const CommandInfo& info : command_catalog()) {
    codes.insert(info.code);
    names.insert(info.name);
    EXPECT_EQ(find_command(info.code), &info);
    EXPECT_EQ(find_command(info.name), &info);
    EXPECT_EQ(info.export_name.rfind("focus_", 0), 0u);
  }
  EXPECT_EQ(codes.size(), 19u);
  EXPECT_EQ(names.size(), 19u);
  EXPECT_EQ(parse_command("laser-off"), protocol::kLaserOff);
  EXPECT_EQ(parse_command("0xa7"), protocol::kLaserOff);
  EXPECT_EQ(parse_command("F5"), protocol::kSysInfo);
  EXPECT_EQ(parse_command("3f"), 0x3F) << "codes the device does not know can still be named";
  EXPECT_FALSE(parse_command("laser"));
  EXPECT_EQ(find_command(std::uint8_t{0x3F}), nullptr);
}

struct ScanCase {
  const char* name;
  const char* bytes;
  std::vector<Kind> kinds;
};

void PrintTo(const ScanCase& c, std::ostream* out) {
  *out << c.bytes;
}

class FrameScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(FrameScan, AccountsForEveryByte) {
  const Bytes bytes = hex(GetParam().bytes);
  const std::vector<ScannedPiece> pieces = scan_frames(bytes.data(), bytes.size());
  std::vector<Kind> kinds;
  Bytes rejoined;
  for (const ScannedPiece& piece : pieces) {
    kinds.push_back(piece.kind);
    EXPECT_EQ(piece.offset, rejoined.size()) << "pieces follow each other";
    rejoined.insert(rejoined.end(), piece.bytes.begin(), piece.bytes.end());
  }
  EXPECT_EQ(kinds, GetParam().kinds);
  EXPECT_EQ(rejoined, bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameScan,
    ::testing::Values(
        ScanCase{"one_frame", "5A 01 01 A7 01 97 C1", {Kind::frame}},
        ScanCase{"empty_payload", "5A 01 00 A1 82 84", {Kind::frame}},
        ScanCase{"two_frames", "5A 01 01 A1 01 94 61 5A 01 01 F5 01 AA A1", {Kind::frame, Kind::frame}},
        ScanCase{"stray_between",
                 "13 5A 01 01 A1 01 94 61 00 FF 5A 01 01 F5 01 AA A1",
                 {Kind::stray, Kind::frame, Kind::stray, Kind::frame}},
        ScanCase{
            "bad_crc_then_good", "5A 01 01 A1 01 94 62 5A 01 01 F5 01 AA A1", {Kind::bad_crc, Kind::frame}},
        ScanCase{"incomplete_tail", "5A 01 01 A7 01 97 C1 5A 02 03 A7", {Kind::frame, Kind::incomplete}},
        ScanCase{"long_claim_hides_nothing", "5A 09 FF 5A 01 01 A7 01 97 C1", {Kind::stray, Kind::frame}},
        ScanCase{"short_head_tail", "00 5A 01", {Kind::stray, Kind::incomplete}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameText, RepliesAreReadAsTheExchangesReadThem) {
  protocol::Frame frame;
  frame.direction = 0x02;
  frame.command = 0xA9;
  frame.payload = {3, 1, 0, 0x2C, 0x01};
  EXPECT_EQ(describe_frame(frame), "single-range (A9) range result ok value 300");
  frame.payload = {1, 0, 0};
  EXPECT_EQ(reply_meaning(frame), "ack REFUSED status 0 code 0");
  frame.command = 0xA1;
  frame.payload = {2, 0, 7, 0, 0};
  EXPECT_EQ(reply_meaning(frame), "focus result FAILED status 0 code 7 value 0");
  frame.payload = {1, 1};
  EXPECT_EQ(reply_meaning(frame), "") << "too short to be a reply";
  frame.direction = 0x01;
  frame.command = 0x3F;
  frame.payload = {1};
  EXPECT_EQ(describe_frame(frame), "command 3F 01");
}

}  // namespace
}  // namespace focus::text
