// The simulator's command line, as focus-sim and focusctl --sim read it.
#include "sim_options.h"

#include <gtest/gtest.h>

namespace focus::sim {
namespace {

OptionParse parse(std::vector<std::string> args, SimOptions& options, std::string& error) {
  std::size_t i = 0;
  OptionParse result = OptionParse::consumed;
  while (i < args.size() && result == OptionParse::consumed)
    result = parse_sim_option(args, i, options, error);
  return result;
}

TEST(SimOptions, EveryOptionSetsItsField) {
  SimOptions options;
  std::string error;
  ASSERT_EQ(parse({"--link",      "/tmp/focus0",
                   "--ack-delay", "15",
                   "--focus-ms",  "800",
                   "--rate",      "50",
                   "--refuse",    "0xA7",
                   "--refuse",    "a8,laser-on",
                   "--fail-code", "7",
                   "--silent",    "F5",
                   "--noise",     "0.25",
                   "--split",     "--corrupt",
                   "1",           "--echo",
                   "--log",       "-",
                   "--replay",    "18446744073709551615"},
                  options, error),
            OptionParse::consumed)
      << error;
  EXPECT_EQ(options.link, "/tmp/focus0");
  EXPECT_EQ(options.device.ack_delay_ms, 15u);
  EXPECT_EQ(options.device.focus_ms, 800u);
  EXPECT_EQ(options.device.rate_hz, 50u);
  EXPECT_TRUE(options.device.refuse.test(0xA7));
  EXPECT_TRUE(options.device.refuse.test(0xA8));
  EXPECT_TRUE(options.device.refuse.test(0xA6));
  EXPECT_EQ(options.device.refuse.count(), 3u);
  EXPECT_EQ(options.device.fail_code, 7);
  EXPECT_TRUE(options.device.silent.test(0xF5));
  EXPECT_EQ(options.device.silent.count(), 1u);
  EXPECT_DOUBLE_EQ(options.line.noise, 0.25);
  EXPECT_TRUE(options.line.split);
  EXPECT_DOUBLE_EQ(options.line.corrupt, 1.0);
  EXPECT_TRUE(options.line.echo);
  EXPECT_EQ(options.log, "-");
  EXPECT_EQ(options.replay_key, 18446744073709551615ull);
}

TEST(SimOptions, TheDefaultsAreTheDocumentedOnes) {
  const SimOptions options;
  EXPECT_EQ(options.device.ack_delay_ms, 2u);
  EXPECT_EQ(options.device.focus_ms, 300u);
  EXPECT_EQ(options.device.rate_hz, 20u);
  EXPECT_FALSE(options.device.fail_code);
  EXPECT_FALSE(options.replay_key);
  EXPECT_TRUE(options.link.empty());
}

TEST(SimOptions, BadValuesAreErrorsThatNameTheOption) {
  const std::vector<std::vector<std::string>> bad = {
      {"--rate", "0"},       {"--rate", "1001"},     {"--ack-delay", "-1"},
      {"--ack-delay", "2x"}, {"--noise", "1.5"},     {"--corrupt", "-0.1"},
      {"--noise", "abc"},    {"--fail-code", "256"}, {"--refuse", "G7"},
      {"--silent", "0x1FF"}, {"--refuse", ","},      {"--replay", "-3"},
      {"--focus-ms", "1e3"}, {"--link", ""},         {"--log"},
  };
  for (const auto& args : bad) {
    SimOptions options;
    std::string error;
    EXPECT_EQ(parse(args, options, error), OptionParse::error) << args[0];
    EXPECT_EQ(error.rfind(args[0], 0), 0u) << error;
  }
}

TEST(SimOptions, OtherWordsAreLeftForTheCaller) {
  SimOptions options;
  std::string error;
  std::vector<std::string> args = {"--split", "laser-off", "--json"};
  std::size_t i = 0;
  EXPECT_EQ(parse_sim_option(args, i, options, error), OptionParse::consumed);
  EXPECT_EQ(parse_sim_option(args, i, options, error), OptionParse::not_mine);
  EXPECT_EQ(i, 1u);
  i = 2;
  EXPECT_EQ(parse_sim_option(args, i, options, error), OptionParse::not_mine);
}

}  // namespace
}  // namespace focus::sim
