#include "traffic_log.h"

#include <cstdio>

#include "hex_text.h"

namespace focus::sim {

std::string format_traffic(const TrafficEvent& event) {
  char head[48];
  std::snprintf(head, sizeof head, "%8llu ms  %s  ", static_cast<unsigned long long>(event.at_ms),
                event.way == TrafficEvent::Way::to_device ? "host->dev" : "dev->host");
  std::string line = head + text::to_hex(event.bytes) + "  ";
  if (event.bad) line += "!! ";
  return line + event.note;
}

}  // namespace focus::sim
