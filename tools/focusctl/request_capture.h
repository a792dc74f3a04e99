// The request a library export sends, taken from the export itself: the
// call runs on a line that keeps what is written and refuses at once, so
// `encode NAME` shows exactly what the library would put on the wire.
#pragma once

#include <functional>
#include <optional>

#include "focus.h"
#include "protocol/frame.h"

namespace focus::ctl {

// The bytes `call` wrote on a connection of its own, or nullopt when it
// wrote nothing (focus_query_result sends no request).
std::optional<protocol::Bytes> capture_request(const std::function<void(DeviceConnection*)>& call);

}  // namespace focus::ctl
