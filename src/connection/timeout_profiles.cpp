#include "connection/timeout_profiles.h"

namespace focus::connection {

PollingTimeouts::PollingTimeouts(DeviceConnection& connection) : connection_(connection) {
  platform::SerialTimeouts found;
  if (connection_.platform->get_timeouts(connection_.port, found)) {
    saved_ = found;
  }
  connection_.platform->set_timeouts(connection_.port, kPollingTimeouts);
}

PollingTimeouts::~PollingTimeouts() {
  connection_.platform->set_timeouts(connection_.port, saved_);
}

}  // namespace focus::connection
