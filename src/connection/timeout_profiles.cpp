#include "connection/timeout_profiles.h"

namespace focus::connection {

ExchangeTimeouts::ExchangeTimeouts(DeviceConnection& connection, const platform::SerialTimeouts& profile)
    : connection_(connection), in_force_(profile) {
  platform::SerialTimeouts found;
  if (connection_.platform->get_timeouts(connection_.port, found)) {
    saved_ = found;
  }
  connection_.platform->set_timeouts(connection_.port, profile);
}

ExchangeTimeouts::~ExchangeTimeouts() {
  connection_.platform->set_timeouts(connection_.port, saved_);
}

void ExchangeTimeouts::use(const platform::SerialTimeouts& profile) {
  if (profile == in_force_) {
    return;
  }
  connection_.platform->set_timeouts(connection_.port, profile);
  in_force_ = profile;
}

}  // namespace focus::connection
