#include "frame_text.h"

#include <cstdio>

#include "command_catalog.h"
#include "hex_text.h"
#include "protocol/command_codes.h"
#include "protocol/little_endian.h"

namespace focus::text {

namespace {

constexpr std::size_t kSysInfoSize = 15;

std::string kind_name(std::uint8_t kind) {
  switch (kind) {
    case protocol::kAcknowledgement: return "ack";
    case protocol::kFocusResult: return "focus result";
    case protocol::kRangeResult: return "range result";
    default: return "kind " + std::to_string(kind);
  }
}

}  // namespace

std::string command_label(std::uint8_t code) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "%02X", code);
  if (const CommandInfo* info = find_command(code)) {
    return std::string(info->name) + " (" + hex + ")";
  }
  return std::string("command ") + hex;
}

std::string reply_meaning(const protocol::Frame& frame) {
  const protocol::Bytes& p = frame.payload;
  if (frame.command == protocol::kSysInfo && p.size() >= kSysInfoSize) {
    return "system information " + to_hex(p);
  }
  if (p.size() < 3) return "";
  std::string text = kind_name(p[0]);
  if (p[1] == protocol::kStatusAccepted) {
    text += " ok";
  } else {
    text += p[0] == protocol::kAcknowledgement ? " REFUSED" : " FAILED";
    text += " status " + std::to_string(p[1]);
  }
  if (p[2] != 0 || p[1] != protocol::kStatusAccepted) text += " code " + std::to_string(p[2]);
  if (p.size() >= 5) text += " value " + std::to_string(protocol::read_le16(p, 3));
  return text;
}

std::string describe_frame(const protocol::Frame& frame) {
  std::string text = command_label(frame.command);
  if (frame.direction == protocol::kHostDirection) {
    if (!frame.payload.empty()) text.append(" ").append(to_hex(frame.payload));
    return text;
  }
  const std::string meaning = reply_meaning(frame);
  if (!meaning.empty()) return text + " " + meaning;
  // Appended in two steps: `" " + to_hex(...)` trips GCC 12's -Wrestrict
  // false positive at -O3.
  if (!frame.payload.empty()) text.append(" ").append(to_hex(frame.payload));
  return text;
}

}  // namespace focus::text
