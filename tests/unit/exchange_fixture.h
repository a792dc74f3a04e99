// A connection opened on a scripted line, for the exchange tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "connection/device_connection.h"
#include "connection/timeout_profiles.h"
#include "focus.h"
#include "scripted_line.h"

namespace focus::testing {

// A timeout record the library never sets itself: an exchange that puts
// back what it found, rather than a profile of its own, leaves this.
inline constexpr SerialTimeouts kFoundTimeouts{7, 6, 5, 4, 3};

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dev = connection::open_connection(line, "COM1");
    ASSERT_NE(dev, nullptr);
    line.set_current_timeouts(kFoundTimeouts);
    opened_calls = line.calls().size();
  }
  void TearDown() override { connection::close_connection(dev); }

  // The platform calls made since the connection was opened.
  std::vector<Call> exchange_calls() const {
    return {line.calls().begin() + static_cast<std::ptrdiff_t>(opened_calls), line.calls().end()};
  }
  std::vector<Call::Kind> exchange_kinds() const { return kinds_of(exchange_calls()); }
  // Answers every request with `reply` after `delay` ms.
  void reply_to_each_request(Bytes reply, std::uint64_t delay = 10) {
    line.on_write([reply, delay](ScriptedLine& l, const Bytes&) { l.arrive_in(delay, reply); });
  }
  // The timeouts were switched to polling and set back to what was found.
  void expect_timeouts_bracketed() const {
    const auto sets = line.calls_of(Call::set_timeouts);
    ASSERT_GE(sets.size(), 2u);
    EXPECT_EQ(sets[sets.size() - 2].timeouts, connection::kPollingTimeouts);
    EXPECT_EQ(sets.back().timeouts, kFoundTimeouts);
    EXPECT_EQ(line.timeouts(), kFoundTimeouts);
  }
  std::string error() const { return focus_get_error(dev); }

  ScriptedLine line;
  DeviceConnection* dev = nullptr;
  std::size_t opened_calls = 0;
};

// Every export with a connection argument, called with harmless values.
struct ExportCall {
  const char* name;
  std::function<std::int32_t(DeviceConnection*)> call;
};
std::vector<ExportCall> every_export_taking_a_connection();

}  // namespace focus::testing
