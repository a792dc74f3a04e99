// One frame described in a line of text, for the traffic log and decode.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/frame.h"

namespace focus::text {

// "laser-off (A7)", or "command 3F" for a code the device does not know.
std::string command_label(std::uint8_t code);

// What a reply payload says: "ack ok", "ack REFUSED code 0",
// "focus result ok value 1042", "range result FAILED status 0 code 7",
// "15 bytes: 00 ...". Empty for a payload of fewer than 3 bytes that is
// not system information.
std::string reply_meaning(const protocol::Frame& frame);

// The command label, then the payload: host frames as their bytes, device
// frames as reply_meaning.
std::string describe_frame(const protocol::Frame& frame);

}  // namespace focus::text
