// The helpers that need no port: `encode` builds a host frame, `decode`
// takes frames apart.
#pragma once

#include <string>
#include <vector>

namespace focus::ctl {

// encode NAME [ARGS]: the request the export behind device subcommand NAME
// sends for those arguments; encode CMD [BYTES...]: the host frame for a
// command code with the payload bytes given. The bytes on one line (or a
// JSON object).
int run_encode(const std::vector<std::string>& args, bool json);

// decode [HEX...]: every frame found, field by field, with its CRC checked;
// the hex comes from standard input when no argument is given. Exit 0 when
// the bytes are all good frames, 1 when any byte is not.
int run_decode(const std::vector<std::string>& args, bool json);

}  // namespace focus::ctl
