// Opening, closing and the error text of a connection.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "connection/device_connection.h"
#include "connection/timeout_profiles.h"
#include "exchange_fixture.h"
#include "focus.h"
#include "scripted_line.h"

namespace focus::testing {
namespace {

using connection::close_connection;
using connection::open_connection;

TEST(Open, ANullNameOpensNothing) {
  ScriptedLine line;
  EXPECT_EQ(open_connection(line, nullptr), nullptr);
  EXPECT_TRUE(line.calls().empty());
  EXPECT_EQ(focus_init(nullptr), nullptr);
}

TEST(Open, HandsTheNameOverUnchanged) {
  ScriptedLine line;
  const char* name = " \\\\.\\COM12\t";
  DeviceConnection* dev = open_connection(line, name);
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(line.opened_name(), name);
  close_connection(dev);
}

TEST(Open, Sets115200EightNoneOneAndKeepsTheRestOfTheLine) {
  ScriptedLine line;
  platform::LineSettings before;
  before.baud_rate = 9600;
  before.byte_size = 7;
  before.parity = platform::kEvenParity;
  before.stop_bits = platform::kTwoStopBits;
  for (std::size_t i = 0; i < before.driver_record.size(); ++i) {
    before.driver_record[i] = static_cast<unsigned char>(i * 3 + 1);
  }
  line.set_line(before);
  DeviceConnection* dev = open_connection(line, "COM1");
  ASSERT_NE(dev, nullptr);

  EXPECT_EQ(kinds_of(line.calls()),
            (std::vector<Call::Kind>{Call::open, Call::get_line, Call::set_line, Call::set_timeouts}));
  EXPECT_EQ(line.line().baud_rate, 115200u);
  EXPECT_EQ(line.line().byte_size, 8);
  EXPECT_EQ(line.line().parity, platform::kNoParity);
  EXPECT_EQ(line.line().stop_bits, platform::kOneStopBit);
  EXPECT_EQ(line.line().driver_record, before.driver_record) << "flow control and the rest untouched";
  const platform::SerialTimeouts standing{100, 10, 500, 10, 500};
  EXPECT_EQ(line.timeouts(), standing);
  close_connection(dev);
}

TEST(Open, AFailedOpenKeepsTheSystemsReason) {
  ScriptedLine line;
  line.fail_open(EACCES);
  errno = 0;
  EXPECT_EQ(open_connection(line, "COM7"), nullptr);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(line.count_of(Call::set_line), 0u);
}

TEST(Open, ANameThatIsNoSerialLineIsClosedUntouchedWithTheReasonKept) {
  ScriptedLine line;
  line.fail_get_line(ENOTTY);
  errno = 0;
  EXPECT_EQ(open_connection(line, "/tmp/data.txt"), nullptr);
  EXPECT_EQ(errno, ENOTTY);
  EXPECT_EQ(kinds_of(line.calls()), (std::vector<Call::Kind>{Call::open, Call::get_line, Call::close}))
      << "no line settings, no timeouts and no write reach it";
  EXPECT_TRUE(line.closed());
}

TEST(Open, AFailedOpenWithAVeryLongNameEndsSafely) {
  ScriptedLine line;
  line.fail_open(ENOENT);
  const std::string name(4096, 'x');
  EXPECT_EQ(open_connection(line, name.c_str()), nullptr);
  EXPECT_EQ(line.opened_name(), name);
  EXPECT_EQ(errno, ENOENT);
}

TEST(Close, ClosesThePortAndSendsNothing) {
  ScriptedLine line;
  DeviceConnection* dev = open_connection(line, "COM1");
  ASSERT_NE(dev, nullptr);
  close_connection(dev);
  EXPECT_TRUE(line.closed());
  EXPECT_EQ(line.count_of(Call::write), 0u);
  focus_close(nullptr);
}

TEST(ErrorText, IsEmptyOnAFreshConnectionAndFixedForNull) {
  ScriptedLine line;
  DeviceConnection* dev = open_connection(line, "COM1");
  ASSERT_NE(dev, nullptr);
  ASSERT_NE(focus_get_error(dev), nullptr);
  EXPECT_STREQ(focus_get_error(dev), "");
  EXPECT_STREQ(focus_get_error(nullptr), "null handle");
  EXPECT_EQ(focus_get_error(nullptr), focus_get_error(nullptr));
  close_connection(dev);
}

class ErrorTextTest : public ExchangeTest {};

TEST_F(ErrorTextTest, AMessageOutlivesLaterSuccess) {
  line.limit_writes(0);
  ASSERT_EQ(focus_laser_off(dev), FOCUS_ERR_WRITE);
  line.limit_writes(0xFFFFFFFFu);
  reply_to_each_request(ack(1));
  ASSERT_EQ(focus_laser_off(dev), FOCUS_OK);
  EXPECT_EQ(error(), "串口写入失败");
}

TEST_F(ErrorTextTest, TheNotOpenGuardStoresItsMessageAndTouchesNoPort) {
  // Only a record that never held a port can reach the guard.
  DeviceConnection unopened(line);
  for (const ExportCall& e : every_export_taking_a_connection()) {
    if (std::strcmp(e.name, "query_result") == 0) continue;   // sends nothing, tests no port
    if (std::strcmp(e.name, "set_wait_mode") == 0) continue;  // a setting of the connection alone
    unopened.error_text.clear();
    const std::size_t before = line.calls().size();
    EXPECT_EQ(e.call(&unopened), FOCUS_ERR_NOT_OPEN) << e.name;
    EXPECT_EQ(unopened.error_text, "串口未打开") << e.name;
    EXPECT_EQ(line.calls().size(), before) << e.name << " touched the port";
  }
}

TEST(NullArguments, EveryExportRefusesANullHandleAndSendsNothing) {
  for (const ExportCall& e : every_export_taking_a_connection()) {
    EXPECT_EQ(e.call(nullptr), FOCUS_ERR_ARG) << e.name;
  }
}

TEST_F(ErrorTextTest, NullRecordsAreRefusedBeforeAnythingIsSent) {
  EXPECT_EQ(focus_sync_time_set(dev, nullptr), FOCUS_ERR_ARG);
  EXPECT_EQ(focus_query_result(dev, nullptr), FOCUS_ERR_ARG);
  EXPECT_EQ(focus_read_sys_info(dev, nullptr), FOCUS_ERR_ARG);
  EXPECT_TRUE(exchange_calls().empty());
  EXPECT_EQ(error(), "");
}

}  // namespace
}  // namespace focus::testing

extern "C" int focus_c_caller_sees_the_api(void);

TEST(PublicHeader, WorksFromC) {
  EXPECT_TRUE(focus_c_caller_sees_the_api());
}
