// Collecting results and reading the system information.
#include <gtest/gtest.h>

#include <cstring>

#include "exchange_fixture.h"

namespace focus::testing {
namespace {

Bytes result_frame(const Bytes& payload) {
  return device_frame(0xA9, payload);
}

QueryResult untouched_result() {
  QueryResult r;
  std::memset(&r, 0xEE, sizeof r);
  return r;
}

struct QueryCase {
  const char* name;
  Bytes burst;  // already waiting when the query starts
  std::int32_t status;
  QueryResult expected;
};

const QueryCase kQueries[] = {
    {"focus_result", result_frame({0x02, 0x01, 0x00}), FOCUS_OK, {2, 1, 0, 0}},
    {"range_result_with_value", result_frame({0x03, 0x01, 0x00, 0x2C, 0x01}), FOCUS_OK, {3, 1, 0, 300}},
    {"four_byte_payload_has_no_value", result_frame({0x02, 0x01, 0x00, 0x2C}), FOCUS_OK, {2, 1, 0, 0}},
    {"acknowledgement_alone", ack(1, 0xA9), FOCUS_ERR_TIMEOUT, {1, 1, 0, 0}},
    {"acknowledgement_then_result",
     concat({ack(1), result_frame({0x02, 0x05, 0x09, 0x01, 0x02})}),
     FOCUS_OK,
     {2, 5, 9, 0x0201}},
    {"two_byte_payload_untouched", result_frame({0x02, 0x01}), FOCUS_ERR_TIMEOUT, untouched_result()},
    {"bad_crc_untouched",
     [] {
       Bytes b = result_frame({0x02, 0x01, 0x00});
       b[4] ^= 0x01;
       return b;
     }(),
     FOCUS_ERR_TIMEOUT, untouched_result()},
};

class Query : public ExchangeTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(Query, FillsTheRecordFromEveryReplyAndEndsOnAResult) {
  line.arrive_at(line.now(), GetParam().burst);
  QueryResult result = untouched_result();
  EXPECT_EQ(focus_query_result(dev, &result), GetParam().status);
  EXPECT_EQ(std::memcmp(&result, &GetParam().expected, sizeof result), 0)
      << "kind " << int(result.kind) << " status " << int(result.status) << " code " << int(result.code)
      << " value " << result.value;
  EXPECT_EQ(line.count_of(Call::write), 0u);
  EXPECT_EQ(line.count_of(Call::purge), 0u);
  expect_timeouts_bracketed();
}

INSTANTIATE_TEST_SUITE_P(Payloads, Query, ::testing::ValuesIn(kQueries),
                         [](const auto& info) { return std::string(info.param.name); });

class QueryTiming : public ExchangeTest {};

TEST_F(QueryTiming, GivesUpAfterFiveReadsAHundredMillisecondsApart) {
  const std::uint64_t start = line.now();
  QueryResult result{};
  EXPECT_EQ(focus_query_result(dev, &result), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(line.now() - start, 500u);
  for (const Call& read : line.calls_of(Call::read)) EXPECT_EQ(read.size, 512u);
  EXPECT_EQ(line.count_of(Call::read), 5u);
}

TEST_F(QueryTiming, TheRangeMeasuredAlongWithItsAcknowledgementIsNotLost) {
  reply_to_each_request(concat({ack(1, 0xA9), result_frame({0x03, 0x01, 0x00, 0xE8, 0x03})}));
  ASSERT_EQ(focus_single_range(dev), FOCUS_OK);
  const std::size_t sleeps = line.count_of(Call::sleep);
  QueryResult result{};
  ASSERT_EQ(focus_query_result(dev, &result), FOCUS_OK);
  EXPECT_EQ(result.kind, 3);
  EXPECT_EQ(+result.value, 1000);
  EXPECT_EQ(line.count_of(Call::sleep), sleeps) << "a held result is returned at once";
}

TEST_F(QueryTiming, AStreamFasterThanThePollingLosesNoResult) {
  Bytes burst;
  for (std::uint8_t i = 0; i < 50; ++i) burst = concat({burst, result_frame({0x02, 0x01, 0x00, i, 0x00})});
  ASSERT_GT(burst.size(), 512u) << "more than one read holds";
  line.arrive_at(line.now(), burst);
  for (int i = 0; i < 50; ++i) {
    QueryResult result{};
    ASSERT_EQ(focus_query_result(dev, &result), FOCUS_OK) << "result " << i;
    EXPECT_EQ(+result.value, i);
  }
  QueryResult none{};
  EXPECT_EQ(focus_query_result(dev, &none), FOCUS_ERR_TIMEOUT);
}

Bytes info_payload(std::size_t size) {
  Bytes payload;
  for (std::size_t i = 0; i < size; ++i) payload.push_back(static_cast<std::uint8_t>(0x10 + i));
  return payload;
}

SysInfo untouched_info() {
  SysInfo info;
  std::memset(&info, 0xEE, sizeof info);
  return info;
}

class SysInfoTest : public ExchangeTest {};

TEST_F(SysInfoTest, CopiesTheFirst15PayloadBytesFieldByField) {
  reply_to_each_request(concat({ack(1, 0xF5), device_frame(0xF5, info_payload(20))}));
  SysInfo info = untouched_info();
  ASSERT_EQ(focus_read_sys_info(dev, &info), FOCUS_OK);
  EXPECT_EQ(hex(line.written()), "5A 01 01 F5 01 AA A1");
  EXPECT_EQ(info.info1, 0x10);
  EXPECT_EQ(+info.info2, 0x1211);
  EXPECT_EQ(info.info3, 0x13);
  EXPECT_EQ(info.info6, 0x16);
  EXPECT_EQ(+info.info7, 0x1817);
  EXPECT_EQ(info.info8, 0x19);
  EXPECT_EQ(info.info9, 0x1A);
  EXPECT_EQ(+info.info10, 0x1C1B);
  EXPECT_EQ(+info.info11, 0x1E1D);
  const Bytes first15 = info_payload(15);
  EXPECT_EQ(std::memcmp(&info, first15.data(), sizeof info), 0);
  expect_timeouts_bracketed();
}

TEST_F(SysInfoTest, TakesAnyKindStatusOrCommand) {
  Bytes odd = info_payload(15);
  odd[0] = 0x07;
  odd[1] = 0x00;
  reply_to_each_request(device_frame(0x33, odd, 0x80));
  SysInfo info = untouched_info();
  ASSERT_EQ(focus_read_sys_info(dev, &info), FOCUS_OK);
  EXPECT_EQ(info.info1, 0x07);
}

TEST_F(SysInfoTest, PassesOverFourteenBytesAndTimesOutAfterTwentyReads) {
  reply_to_each_request(device_frame(0xF5, info_payload(14)));
  const std::uint64_t start = line.now();
  SysInfo info = untouched_info();
  EXPECT_EQ(focus_read_sys_info(dev, &info), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(line.now() - start, 2000u);
  EXPECT_EQ(line.count_of(Call::read), 20u);
  const SysInfo untouched = untouched_info();
  EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);
  expect_timeouts_bracketed();
}

TEST_F(SysInfoTest, AFailedWriteLeavesTheRecordAlone) {
  line.limit_writes(0);
  SysInfo info = untouched_info();
  EXPECT_EQ(focus_read_sys_info(dev, &info), FOCUS_ERR_WRITE);
  EXPECT_EQ(error(), "串口写入失败");
  const SysInfo untouched = untouched_info();
  EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);
}

}  // namespace
}  // namespace focus::testing
