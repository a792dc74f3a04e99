#include "offline.h"

#include <cstdio>
#include <functional>
#include <iostream>
#include <iterator>

#include "command_catalog.h"
#include "device_commands.h"
#include "frame_scan.h"
#include "frame_text.h"
#include "hex_text.h"
#include "invocation.h"
#include "json_output.h"
#include "protocol/frame.h"
#include "protocol/frame_crc.h"
#include "protocol/little_endian.h"
#include "request_capture.h"
#include "status_codes.h"

namespace focus::ctl {

namespace {

using text::ScannedPiece;

int usage_error(const std::string& message) {
  std::fprintf(stderr, "focusctl: %s\n%s\n", message.c_str(), usage_line().c_str());
  return kExitUsage;
}

std::string hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

std::string hex2(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

std::uint16_t computed_crc(const ScannedPiece& piece) {
  return protocol::frame_crc(piece.bytes.data(), piece.bytes.size() - 2);
}

std::string direction_name(std::uint8_t direction) {
  return direction == protocol::kHostDirection ? "host" : "device";
}

std::string command_name(std::uint8_t code) {
  const text::CommandInfo* info = text::find_command(code);
  return info ? std::string(info->name) + " (" + std::string(info->export_name) + ")" : "not a known command";
}

const char* kind_label(ScannedPiece::Kind kind) {
  switch (kind) {
    case ScannedPiece::Kind::frame: return "frame";
    case ScannedPiece::Kind::bad_crc: return "bad_crc";
    case ScannedPiece::Kind::stray: return "stray";
    case ScannedPiece::Kind::incomplete: return "incomplete";
  }
  return "";
}

Json piece_json(const ScannedPiece& piece) {
  Json json = Json::object();
  json["type"] = kind_label(piece.kind);
  json["offset"] = static_cast<std::int64_t>(piece.offset);
  json["bytes"] = text::to_hex(piece.bytes);
  if (piece.kind == ScannedPiece::Kind::frame || piece.kind == ScannedPiece::Kind::bad_crc) {
    const protocol::Frame& f = piece.frame;
    json["header"] = f.header;
    json["direction"] = f.direction;
    json["length"] = f.length;
    json["command"] = f.command;
    const text::CommandInfo* info = text::find_command(f.command);
    json["name"] = info ? info->name : "";
    json["payload"] = text::to_hex(f.payload);
    json["crc"] = f.crc;
    json["crc_computed"] = computed_crc(piece);
    json["crc_ok"] = piece.kind == ScannedPiece::Kind::frame;
    if (f.direction != protocol::kHostDirection) json["reply"] = text::reply_meaning(f);
  }
  if (piece.kind == ScannedPiece::Kind::incomplete) {
    const std::size_t needs = piece.bytes.size() >= 3 ? piece.bytes[2] + protocol::kFrameOverhead : 0;
    json["needs"] = static_cast<std::int64_t>(needs);
  }
  return json;
}

void print_piece(const ScannedPiece& piece, int& frame_number) {
  const std::string at = " at byte " + std::to_string(piece.offset);
  const std::size_t size = piece.bytes.size();
  switch (piece.kind) {
    case ScannedPiece::Kind::stray:
      std::printf("stray bytes%s (%zu): %s\n", at.c_str(), size, text::to_hex(piece.bytes).c_str());
      return;
    case ScannedPiece::Kind::incomplete: {
      const std::string needs =
          size >= 3 ? ", a frame of " + std::to_string(piece.bytes[2] + protocol::kFrameOverhead) : "";
      std::printf("incomplete frame%s (%zu bytes%s): %s\n", at.c_str(), size, needs.c_str(),
                  text::to_hex(piece.bytes).c_str());
      return;
    }
    case ScannedPiece::Kind::frame:
    case ScannedPiece::Kind::bad_crc: break;
  }
  const protocol::Frame& f = piece.frame;
  const bool good = piece.kind == ScannedPiece::Kind::frame;
  std::printf("frame %d%s (%zu bytes): %s\n", ++frame_number, at.c_str(), size,
              text::to_hex(piece.bytes).c_str());
  std::printf("  header     %s\n", hex2(f.header).c_str());
  std::printf("  direction  %s (%s)\n", hex2(f.direction).c_str(), direction_name(f.direction).c_str());
  std::printf("  length     %u\n", f.length);
  std::printf("  command    %s %s\n", hex2(f.command).c_str(), command_name(f.command).c_str());
  std::printf("  payload    %s\n", f.payload.empty() ? "(none)" : text::to_hex(f.payload).c_str());
  if (f.direction != protocol::kHostDirection) {
    const std::string meaning = text::reply_meaning(f);
    if (!meaning.empty()) std::printf("  reply      %s\n", meaning.c_str());
  }
  std::printf("  crc        %s, computed %s: %s\n", hex4(f.crc).c_str(), hex4(computed_crc(piece)).c_str(),
              good ? "match" : "MISMATCH");
}

// encode NAME [ARGS]: the request of the export behind a device subcommand,
// from the export itself. nullopt when `name` is no such subcommand.
std::optional<int> encode_export(const std::vector<std::string>& args, bool json) {
  const std::string& name = args[0];
  const std::vector<std::string> values_text(args.begin() + 1, args.end());
  std::function<void(DeviceConnection*)> call;
  std::string call_name;
  Values values;
  std::string error;
  if (const SimpleCommand* simple = find_simple_command(name)) {
    if (!parse_values(name, simple->args, values_text, values, error)) return usage_error("encode " + error);
    call = [simple, values](DeviceConnection* dev) { simple->call(dev, values); };
    call_name = call_text(simple->export_name, values);
  } else if (name == "single-focus") {
    if (values_text.empty()) {
      call = [](DeviceConnection* dev) { focus_single_focus(dev); };
      call_name = "focus_single_focus()";
    } else {
      std::uint32_t ms = 0;
      if (values_text.size() != 2 || values_text[0] != "--timeout" ||
          !parse_uint(values_text[1], 0xFFFFFFFFu, ms)) {
        return usage_error("encode single-focus takes only [--timeout MS]");
      }
      call = [ms](DeviceConnection* dev) { focus_single_focus_timeout(dev, ms); };
      call_name = call_text("focus_single_focus_timeout", {ms});
    }
  } else if (name == "sys-info") {
    if (!values_text.empty()) return usage_error("encode sys-info takes no arguments");
    call = [](DeviceConnection* dev) {
      SysInfo info{};
      focus_read_sys_info(dev, &info);
    };
    call_name = "focus_read_sys_info()";
  } else if (name == "query") {
    return usage_error(
        "encode: query sends no request (focus_query_result only collects what the device sent)");
  } else {
    return std::nullopt;
  }
  const std::optional<protocol::Bytes> frame = capture_request(call);
  if (!frame) return usage_error("encode: " + call_name + " sent nothing");
  if (json) {
    Json out = Json::object();
    out["command"] = "encode";
    out["call"] = call_name;
    out["code"] = (*frame)[3];
    out["name"] = name;
    out["payload"] = text::to_hex(frame->data() + 4, frame->size() - 6);
    out["frame"] = text::to_hex(*frame);
    out["crc"] = protocol::read_le16(*frame, frame->size() - 2);
    std::printf("%s\n", json_line(out).c_str());
  } else {
    std::printf("%s\n", text::to_hex(*frame).c_str());
  }
  return kExitOk;
}

}  // namespace

int run_encode(const std::vector<std::string>& args, bool json) {
  if (args.empty()) {
    return usage_error(
        "encode needs a command: encode NAME [ARGS] (e.g. encode laser-on 80) or encode CMD "
        "[BYTES...] (e.g. encode A7 01)");
  }
  if (const std::optional<int> exit_code = encode_export(args, json)) return *exit_code;
  const std::optional<std::uint8_t> code = text::parse_command(args[0]);
  if (!code) return usage_error("encode: \"" + args[0] + "\" is no command (hex such as A7, or a name)");
  protocol::Bytes payload;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string error;
    if (!text::append_hex_token(args[i], payload, error)) return usage_error("encode: " + error);
  }
  if (payload.size() > 255) return usage_error("encode: a payload holds at most 255 bytes");
  const protocol::Bytes frame =
      protocol::encode_frame(protocol::make_host_frame(*code, payload.data(), payload.size()));
  if (json) {
    Json out = Json::object();
    out["command"] = "encode";
    out["code"] = *code;
    const text::CommandInfo* info = text::find_command(*code);
    out["name"] = info ? info->name : "";
    out["payload"] = text::to_hex(payload);
    out["frame"] = text::to_hex(frame);
    out["crc"] = protocol::read_le16(frame, frame.size() - 2);
    std::printf("%s\n", json_line(out).c_str());
  } else {
    std::printf("%s\n", text::to_hex(frame).c_str());
  }
  return kExitOk;
}

int run_decode(const std::vector<std::string>& args, bool json) {
  std::vector<std::string> tokens = args;
  if (tokens.empty()) {
    tokens.assign(std::istream_iterator<std::string>(std::cin), std::istream_iterator<std::string>());
  }
  protocol::Bytes bytes;
  for (const std::string& token : tokens) {
    std::string error;
    if (!text::append_hex_token(token, bytes, error)) return usage_error("decode: " + error);
  }
  if (bytes.empty()) return usage_error("decode needs hex bytes, as arguments or on standard input");

  const std::vector<ScannedPiece> pieces = text::scan_frames(bytes.data(), bytes.size());
  bool all_good = true;
  for (const ScannedPiece& piece : pieces) all_good = all_good && piece.kind == ScannedPiece::Kind::frame;
  if (json) {
    Json pieces_json = Json::array();
    for (const ScannedPiece& piece : pieces) pieces_json.push_back(piece_json(piece));
    Json out = Json::object();
    out["command"] = "decode";
    out["ok"] = all_good;
    out["pieces"] = pieces_json;
    std::printf("%s\n", json_line(out).c_str());
  } else {
    int frame_number = 0;
    for (const ScannedPiece& piece : pieces) print_piece(piece, frame_number);
  }
  return all_good ? kExitOk : kExitFailure;
}

}  // namespace focus::ctl
