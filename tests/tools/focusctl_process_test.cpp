// focusctl as people and scripts run it: every subcommand against the
// simulator it embeds, --json read back, exit codes, bad arguments.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>

#include "child_process.h"
#include "connection/device_connection.h"
#include "focus.h"
#include "json_lines.h"
#include "scripted_line.h"
#include "sim_thread.h"

namespace focus::ctl {
namespace {

using namespace std::chrono_literals;
using testing::Finished;
using JsonValue = testing::Json;

const std::string kFocusctl = FOCUSCTL_PROGRAM;

Finished focusctl(const std::vector<std::string>& args, const std::string& input = "") {
  return testing::run_program(kFocusctl, args, input, 60s);
}

// The one JSON object a command prints.
JsonValue only_object(const Finished& run) {
  const auto values = testing::parse_json_lines(run.out);
  EXPECT_TRUE(values) << run.out;
  if (!values || values->size() != 1) {
    ADD_FAILURE() << "expected one JSON object, got:\n" << run.out;
    return {};
  }
  return values->front();
}

// A test name from words: letters and digits kept, the rest as '_'.
std::string name_of(const std::vector<std::string>& words) {
  std::string name;
  for (const std::string& word : words) {
    for (char c : word) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    name += '_';
  }
  if (name.empty()) return "nothing";
  name.pop_back();
  return name;
}

struct Subcommand {
  std::vector<std::string> args;
  std::string call;  // "" where it names a port of the moment
};

void PrintTo(const Subcommand& c, std::ostream* out) {
  *out << name_of(c.args);
}

class EverySubcommand : public ::testing::TestWithParam<Subcommand> {};

TEST_P(EverySubcommand, SucceedsAgainstTheSimulatorAndSaysSoInJson) {
  std::vector<std::string> args = {"--sim", "--json"};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  const Finished run = focusctl(args);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const JsonValue json = only_object(run);
  EXPECT_EQ(json.at("command").get<std::string>(), GetParam().args[0]);
  if (!GetParam().call.empty()) {
    EXPECT_EQ(json.at("call").get<std::string>(), GetParam().call);
  }
  EXPECT_EQ(json.at("status").get<long long>(), 0);
  EXPECT_EQ(json.at("status_name").get<std::string>(), "FOCUS_OK");
  EXPECT_TRUE(json.at("ok").get<bool>());
  EXPECT_EQ(json.at("error").get<std::string>(), "");
  EXPECT_EQ(json.at("device").get<std::string>(), "simulator");
}

INSTANTIATE_TEST_SUITE_P(
    Commands, EverySubcommand,
    ::testing::Values(
        Subcommand{{"init"}, ""}, Subcommand{{"continuous-focus"}, "focus_continuous_focus()"},
        Subcommand{{"calib-mode"}, "focus_calib_mode()"},
        Subcommand{{"calib-move", "10", "500"}, "focus_calib_move(10, 500)"},
        Subcommand{{"calib-save"}, "focus_calib_save()"},
        Subcommand{{"laser-on", "80"}, "focus_laser_on(80)"}, Subcommand{{"laser-off"}, "focus_laser_off()"},
        Subcommand{{"laser-power", "0x78"}, "focus_laser_power(120)"},
        Subcommand{{"single-range"}, "focus_single_range()"},
        Subcommand{{"continuous-range"}, "focus_continuous_range()"},
        Subcommand{{"lift-control", "40"}, "focus_lift_control(40)"},
        Subcommand{{"ext-trigger-set"}, "focus_ext_trigger_set()"},
        Subcommand{{"ext-trigger-fire"}, "focus_ext_trigger_fire()"},
        Subcommand{{"auto-descend"}, "focus_auto_descend()"},
        Subcommand{{"fixed-cycle", "300", "500"}, "focus_fixed_cycle(300, 500)"},
        Subcommand{{"sync-time-set", "1", "2", "3", "65535"}, "focus_sync_time_set(1, 2, 3, 65535)"},
        Subcommand{{"sync-time-get"}, "focus_sync_time_get()"},
        Subcommand{{"power-off"}, "focus_power_off()"}, Subcommand{{"single-focus"}, "focus_single_focus()"},
        Subcommand{{"single-focus", "--timeout", "2000"}, "focus_single_focus_timeout(2000)"},
        Subcommand{{"sys-info"}, "focus_read_sys_info()"}),
    [](const auto& info) { return name_of(info.param.args); });

TEST(Focusctl, InitNamesThePortItOpened) {
  const JsonValue json = only_object(focusctl({"--sim", "--json", "init"}));
  EXPECT_EQ(json.at("call").get<std::string>().rfind("focus_init(\"/dev/pts/", 0), 0u)
      << json.at("call").get<std::string>();
}

TEST(Focusctl, CommandsThatDrawAResultShowIt) {
  const JsonValue range = only_object(focusctl({"--sim", "--json", "single-range"}));
  EXPECT_EQ(range.at("result").at("kind").get<long long>(), 3);
  EXPECT_EQ(range.at("result").at("status").get<long long>(), 1);
  EXPECT_NEAR(range.at("result").at("value").get<double>(), 20000, 8);
  const JsonValue fire = only_object(focusctl({"--sim", "--json", "ext-trigger-fire"}));
  EXPECT_EQ(fire.at("result").at("kind").get<long long>(), 2);
}

TEST(Focusctl, SysInfoHandsBackEveryField) {
  const JsonValue json = only_object(focusctl({"--sim", "--json", "sys-info"}));
  const JsonValue& info = json.at("info");
  ASSERT_EQ(info.size(), 11u);
  EXPECT_EQ(info.at("info3").get<long long>(), 50) << "the simulator's default laser power";
  EXPECT_EQ(info.at("info6").get<long long>(), 1);
  EXPECT_EQ(info.at("info8").get<long long>(), 4);

  const Finished text = focusctl({"--sim", "sys-info"});
  EXPECT_EQ(text.exit_code, 0);
  EXPECT_EQ(text.out.rfind("focus_read_sys_info(): FOCUS_OK (0) in ", 0), 0u) << text.out;
  EXPECT_NE(text.out.find("info11"), std::string::npos);
  EXPECT_NE(text.out.find("firmware version, major"), std::string::npos)
      << "the simulator's meaning is shown";
}

TEST(Focusctl, QueryWithNothingSentTimesOut) {
  const Finished run = focusctl({"--sim", "--json", "query"});
  EXPECT_EQ(run.exit_code, 5);
  const JsonValue json = only_object(run);
  EXPECT_EQ(json.at("status").get<long long>(), FOCUS_ERR_TIMEOUT);
  EXPECT_FALSE(json.at("ok").get<bool>());
  EXPECT_FALSE(json.contains("result"));
}

struct FailureCase {
  std::vector<std::string> args;
  int exit_code;
  std::int32_t status;
  std::string error;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
  *out << name_of(c.args);
}

class FailureClass : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureClass, HasItsExitCodeAndMessage) {
  const Finished run = focusctl(GetParam().args);
  EXPECT_EQ(run.exit_code, GetParam().exit_code) << run.out << run.err;
  const JsonValue json = only_object(run);
  EXPECT_EQ(json.at("status").get<long long>(), GetParam().status);
  EXPECT_EQ(json.at("error").get<std::string>(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailureClass,
    ::testing::Values(
        FailureCase{{"--sim", "--json", "--refuse", "A7", "laser-off"}, 4, FOCUS_ERR_DEVICE, ""},
        FailureCase{{"--sim", "--json", "--refuse", "single-focus", "single-focus"},
                    4,
                    FOCUS_ERR_DEVICE,
                    "单次对焦被设备拒绝"},
        FailureCase{{"--sim", "--json", "--fail-code", "7", "--focus-ms", "20", "single-focus"},
                    4,
                    FOCUS_ERR_DEVICE,
                    "单次对焦失败，设备错误码:7"},
        FailureCase{{"--sim", "--json", "--silent", "0xA7", "laser-off"}, 5, FOCUS_ERR_TIMEOUT, ""},
        FailureCase{{"--sim", "--json", "--silent", "A1", "single-focus", "--timeout", "300"},
                    5,
                    FOCUS_ERR_TIMEOUT,
                    "单次对焦等待超时"}),
    [](const auto& info) { return name_of(info.param.args); });

TEST(Focusctl, AMissingPortGivesTheSystemsReasonAndAHint) {
  const Finished run = focusctl({"--port", "/dev/focusctl-no-such-port", "laser-off"});
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_NE(run.err.find("cannot open /dev/focusctl-no-such-port: No such file or directory"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("check the name"), std::string::npos) << run.err;

  const Finished json = focusctl({"--json", "--port", "/dev/focusctl-no-such-port", "sys-info"});
  EXPECT_EQ(json.exit_code, 3);
  const JsonValue object = only_object(json);
  EXPECT_FALSE(object.at("ok").get<bool>());
  EXPECT_TRUE(object.at("status").is_null());
  EXPECT_NE(object.at("hint").get<std::string>().find("check the name"), std::string::npos);

  const Finished demo = focusctl({"--port", "/dev/focusctl-no-such-port", "demo"});
  EXPECT_EQ(demo.exit_code, 3);
  EXPECT_NE(demo.err.find("cannot open /dev/focusctl-no-such-port"), std::string::npos) << demo.err;
}

TEST(Focusctl, ANameThatIsNoSerialPortIsRefusedWithTheUsualNames) {
  char path[] = "/tmp/focusctl-not-a-port-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string content = "keep me\n";
  ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  ::close(fd);

  const Finished run = focusctl({"--port", path, "sys-info"});
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_NE(run.err.find(std::string(path) + " is not a serial port"), std::string::npos) << run.err;
  for (const char* usual : {"/dev/ttyUSB0", "/dev/ttyACM0", "COM3"}) {
    EXPECT_NE(run.err.find(usual), std::string::npos) << run.err;
  }
  std::ifstream file(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), content);
  ::unlink(path);
}

TEST(Focusctl, APortInUseIsSaidToBeInUse) {
  std::string error;
  const auto simulator = sim::SimulatorThread::start(sim::SimOptions{}, error);
  ASSERT_TRUE(simulator) << error;
  DeviceConnection* holder = focus_init(simulator->port().c_str());
  ASSERT_NE(holder, nullptr);
  const Finished run = focusctl({"--port", simulator->port(), "laser-off"});
  focus_close(holder);
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_NE(run.err.find("is in use"), std::string::npos) << run.err;
  EXPECT_EQ(focusctl({"--port", simulator->port(), "laser-off"}).exit_code, 0) << "free again";
}

TEST(Focusctl, MonitorPrintsEachResultWithARateAndASummary) {
  for (const auto& [mode, kind] : {std::pair{"", 2}, std::pair{"--range", 3}}) {
    std::vector<std::string> args = {"--sim", "--json", "--rate", "40", "monitor", "--count", "6"};
    if (*mode) args.push_back(mode);
    const Finished run = focusctl(args);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    const auto lines = testing::parse_json_lines(run.out);
    ASSERT_TRUE(lines) << run.out;
    ASSERT_EQ(lines->size(), 7u) << run.out;
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ((*lines)[i].at("n").get<long long>(), i + 1);
      EXPECT_EQ((*lines)[i].at("kind").get<long long>(), kind);
      EXPECT_EQ((*lines)[i].at("device").get<std::string>(), "simulator");
    }
    // Results come in bursts, one per read: the rate needs a second read.
    EXPECT_TRUE((*lines)[0].at("rate_hz").is_null());
    EXPECT_GT((*lines)[5].at("rate_hz").get<double>(), 0);
    EXPECT_TRUE(lines->back().at("summary").get<bool>());
    EXPECT_EQ(lines->back().at("results").get<long long>(), 6);
  }
}

TEST(Focusctl, MonitorStopsCleanlyOnCtrlC) {
  testing::Child monitor(kFocusctl, {"--sim", "monitor"});
  ASSERT_TRUE(monitor.read_line(20s)) << "the start line";
  ASSERT_TRUE(monitor.read_line(20s)) << "the results heading";
  ASSERT_TRUE(monitor.read_line(20s)) << "the column heading";
  const std::optional<std::string> first = monitor.read_line(20s);
  ASSERT_TRUE(first);
  EXPECT_NE(first->find("focus result, status 1"), std::string::npos) << *first;
  monitor.send_signal(SIGINT);
  const Finished finished = monitor.wait(20s);
  EXPECT_EQ(finished.exit_code, 0) << finished.err;
  EXPECT_NE(finished.out.find("stopped by Ctrl-C"), std::string::npos) << finished.out;
}

TEST(Focusctl, TheDemoRunsEveryLibraryFunctionAndEachSucceeds) {
  const Finished run = focusctl({"--sim", "--json", "demo"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const auto lines = testing::parse_json_lines(run.out);
  ASSERT_TRUE(lines) << run.out;
  ASSERT_GE(lines->size(), 25u);
  std::set<std::string> functions;
  for (std::size_t i = 0; i + 1 < lines->size(); ++i) {
    const JsonValue& step = (*lines)[i];
    EXPECT_TRUE(step.at("ok").get<bool>()) << step.at("call").get<std::string>();
    EXPECT_EQ(step.at("step").get<long long>(), static_cast<long long>(i + 1));
    const std::string& call = step.at("call").get<std::string>();
    functions.insert(call.substr(0, call.find('(')));
  }
  EXPECT_EQ(functions.size(), 25u);
  EXPECT_TRUE(lines->back().at("summary").get<bool>());
  EXPECT_EQ(lines->back().at("failed").get<long long>(), 0);

  const Finished text = focusctl({"--sim", "demo"});
  EXPECT_EQ(text.exit_code, 0);
  EXPECT_NE(text.out.find("All 28 steps succeeded"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("paced "), std::string::npos) << "both wait modes side by side";
}

TEST(Focusctl, ThePromptOptionRunsTheDemoInThePromptWaitMode) {
  const Finished run = focusctl({"--sim", "--prompt", "--json", "demo"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const auto lines = testing::parse_json_lines(run.out);
  ASSERT_TRUE(lines && !lines->empty()) << run.out;
  EXPECT_EQ((*lines)[0].at("result").get<std::string>(), "connection open, prompt wait mode");
  EXPECT_EQ(lines->back().at("failed").get<long long>(), 0);
}

TEST(Focusctl, TheDemoReportsAFailingStepAndItsExitCode) {
  const Finished run = focusctl({"--sim", "--json", "--refuse", "laser-off", "demo"});
  EXPECT_EQ(run.exit_code, 4);
  const auto lines = testing::parse_json_lines(run.out);
  ASSERT_TRUE(lines && !lines->empty()) << run.out;
  EXPECT_EQ(lines->back().at("failed").get<long long>(), 1);
}

struct BadArguments {
  std::vector<std::string> args;
  std::string message;
};

void PrintTo(const BadArguments& c, std::ostream* out) {
  *out << name_of(c.args);
}

class BadArgumentsGetTheUsage : public ::testing::TestWithParam<BadArguments> {};

TEST_P(BadArgumentsGetTheUsage, WithExitCodeTwoAndNoCall) {
  const Finished run = focusctl(GetParam().args);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.signal, 0);
  EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("usage: focusctl"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadArgumentsGetTheUsage,
    ::testing::Values(
        BadArguments{{}, "no command given"}, BadArguments{{"frobnicate"}, "unknown command"},
        BadArguments{{"laser-off"}, "give --port NAME (see `focusctl ports`) or --sim"},
        BadArguments{{"--rate", "40", "monitor"}, "give --port NAME (see `focusctl ports`) or --sim"},
        BadArguments{{"encode", "laser-off", "01"}, "laser-off takes 0 arguments"},
        BadArguments{{"encode", "query"}, "query sends no request"},
        BadArguments{{"laser-on"}, "laser-on takes 1 argument, got 0"},
        BadArguments{{"laser-on", "300"}, "N must be a whole number from 0 to 255"},
        BadArguments{{"laser-on", "abc"}, "not \"abc\""},
        BadArguments{{"calib-move", "1"}, "takes 2 arguments"},
        BadArguments{{"sync-time-set", "1", "2", "3", "70000"}, "W4 must be"},
        BadArguments{{"laser-off", "1"}, "takes 0 arguments"},
        BadArguments{{"query", "now"}, "takes no arguments"},
        BadArguments{{"single-focus", "--timeout"}, "--timeout"},
        BadArguments{{"sysinfo"}, "unknown command \"sysinfo\"; did you mean sys-info?"},
        BadArguments{{"single_focus"}, "did you mean single-focus?"},
        BadArguments{{"single-focus", "--timeout", "-5"}, "--timeout takes milliseconds"},
        BadArguments{{"monitor", "--count", "0"}, "--count takes"}, BadArguments{{"--port"}, "--port needs"},
        BadArguments{{"--port", "/dev/x", "--sim", "laser-off"}, "exclude each other"},
        BadArguments{{"--rate", "0", "demo"}, "--rate 0"},
        BadArguments{{"--unknown", "demo"}, "unknown option --unknown"},
        BadArguments{{"encode"}, "encode needs a command"}, BadArguments{{"encode", "XYZ"}, "is no command"},
        BadArguments{{"encode", "A7", "0x100"}, "not hex"}, BadArguments{{"decode", "5A", "zz"}, "not hex"}),
    [](const auto& info) { return std::to_string(info.index) + "_" + name_of(info.param.args); });

struct Vector {
  std::vector<std::string> encode;
  std::string frame;
};

void PrintTo(const Vector& c, std::ostream* out) {
  *out << name_of(c.encode);
}

class CodecVectors : public ::testing::TestWithParam<Vector> {};

TEST_P(CodecVectors, EncodeGivesTheFrameAndDecodeTakesItBack) {
  std::vector<std::string> args = {"encode"};
  args.insert(args.end(), GetParam().encode.begin(), GetParam().encode.end());
  const Finished encoded = focusctl(args);
  EXPECT_EQ(encoded.exit_code, 0) << encoded.err;
  EXPECT_EQ(encoded.out, GetParam().frame + "\n");

  const Finished decoded = focusctl({"--json", "decode", GetParam().frame});
  EXPECT_EQ(decoded.exit_code, 0) << decoded.err;
  const JsonValue json = only_object(decoded);
  EXPECT_TRUE(json.at("ok").get<bool>());
  ASSERT_EQ(json.at("pieces").size(), 1u);
  const JsonValue& frame = json.at("pieces")[0];
  EXPECT_EQ(frame.at("type").get<std::string>(), "frame");
  EXPECT_EQ(frame.at("header").get<long long>(), 0x5A);
  EXPECT_EQ(frame.at("direction").get<long long>(), 1);
  EXPECT_TRUE(frame.at("crc_ok").get<bool>());
  EXPECT_EQ(frame.at("crc").get<long long>(), frame.at("crc_computed").get<long long>());
  EXPECT_EQ(frame.at("bytes").get<std::string>(), GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(
    Library, CodecVectors,
    ::testing::Values(Vector{{"A1", "01"}, "5A 01 01 A1 01 94 61"},
                      Vector{{"0xF5", "01"}, "5A 01 01 F5 01 AA A1"}, Vector{{"A1"}, "5A 01 00 A1 82 84"},
                      Vector{{"A7", "01"}, "5A 01 01 A7 01 97 C1"},
                      Vector{{"A4", "07", "01", "02"}, "5A 01 03 A4 07 01 02 B6 74"},
                      Vector{{"C2", "01", "2C01", "F4,01"}, "5A 01 05 C2 01 2C 01 F4 01 EF ED"},
                      Vector{{"A8", "01", "2C"}, "5A 01 02 A8 01 2C B1 34"},
                      Vector{{"C6", "010201040305000600"}, "5A 01 09 C6 01 02 01 04 03 05 00 06 00 37 AC"}),
    [](const auto& info) { return name_of(info.param.encode); });

TEST(Focusctl, DecodeShowsEveryFieldAndFlagsBadBytes) {
  const Finished cut = focusctl({"decode", "5A0205A90301002C01DC"});
  EXPECT_EQ(cut.exit_code, 1) << "without its CRC the frame is incomplete";
  EXPECT_NE(cut.out.find("incomplete frame at byte 0 (10 bytes, a frame of 11)"), std::string::npos)
      << cut.out;

  const Finished text = focusctl({"decode"}, "5A 01 01 A7 01 97 C1\n13 37\n5A 01 01 A1 01 94 62\n");
  EXPECT_EQ(text.exit_code, 1);
  EXPECT_NE(text.out.find("frame 1 at byte 0 (7 bytes): 5A 01 01 A7 01 97 C1"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("command    A7 laser-off (focus_laser_off)"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("crc        C197, computed C197: match"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("stray bytes at byte 7 (2): 13 37"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("crc        6294, computed 6194: MISMATCH"), std::string::npos) << text.out;
}

TEST(Focusctl, DecodeReadsDeviceRepliesAsTheLibraryDoes) {
  // A range result: kind 3, status 1, code 0, value 300 (2C 01).
  const Finished run = focusctl({"--json", "decode", "5A 02 05 A9 03 01 00 2C 01 DC 4F"});
  EXPECT_EQ(run.exit_code, 0);
  const JsonValue json = only_object(run);
  ASSERT_EQ(json.at("pieces").size(), 1u);
  const JsonValue& frame = json.at("pieces")[0];
  EXPECT_TRUE(frame.at("crc_ok").get<bool>());
  EXPECT_EQ(frame.at("direction").get<long long>(), 2);
  EXPECT_EQ(frame.at("name").get<std::string>(), "single-range");
  EXPECT_EQ(frame.at("payload").get<std::string>(), "03 01 00 2C 01");
  EXPECT_EQ(frame.at("reply").get<std::string>(), "range result ok value 300");
}

TEST(Focusctl, HelpListsEverySubcommand) {
  const Finished run = focusctl({"--help"});
  EXPECT_EQ(run.exit_code, 0);
  for (const char* name : {"init",
                           "single-focus",
                           "continuous-focus",
                           "calib-mode",
                           "calib-move",
                           "calib-save",
                           "laser-on",
                           "laser-off",
                           "laser-power",
                           "single-range",
                           "continuous-range",
                           "lift-control",
                           "ext-trigger-set",
                           "ext-trigger-fire",
                           "auto-descend",
                           "fixed-cycle",
                           "sync-time-set",
                           "sync-time-get",
                           "power-off",
                           "query",
                           "sys-info",
                           "monitor",
                           "demo",
                           "encode",
                           "decode",
                           "--refuse",
                           "--replay",
                           "Exit status"}) {
    EXPECT_NE(run.out.find(name), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace focus::ctl

namespace focus::ctl {
namespace {

// A file in the test's temporary folder, removed with it.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/focusctl-test-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(Simulator, EveryResultSaysItCameFromTheSimulator) {
  const Finished text = focusctl({"--sim", "single-range"});
  EXPECT_EQ(text.exit_code, 0);
  EXPECT_NE(text.out.find("focus_single_range(): FOCUS_OK (0) in "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find(" ms (simulator)\n"), std::string::npos) << text.out;

  const Finished monitor = focusctl({"--sim", "--json", "--rate", "100", "monitor", "--count", "3"});
  const auto lines = testing::parse_json_lines(monitor.out);
  ASSERT_TRUE(lines && lines->size() == 4) << monitor.out;
  for (const JsonValue& line : *lines) EXPECT_EQ(line.at("device").get<std::string>(), "simulator");

  const Finished demo = focusctl({"--sim", "--json", "demo"});
  const auto steps = testing::parse_json_lines(demo.out);
  ASSERT_TRUE(steps && !steps->empty()) << demo.out;
  for (const JsonValue& step : *steps) EXPECT_EQ(step.at("device").get<std::string>(), "simulator");

  const Finished missing = focusctl({"--json", "--port", "/dev/focusctl-no-such-port", "laser-off"});
  EXPECT_EQ(only_object(missing).at("device").get<std::string>(), "/dev/focusctl-no-such-port")
      << "a port is named";
}

TEST(Trace, ShowsEveryByteBothWaysAndMarksTheBadOnes) {
  // Noise before every reply and every reply corrupted: the acknowledgement
  // never passes, and the trace shows why.
  const Finished run =
      focusctl({"--sim", "--trace", "--noise", "1", "--corrupt", "1", "--replay", "1", "laser-off"});
  EXPECT_EQ(run.exit_code, 5) << run.out << run.err;
  EXPECT_NE(run.err.find(">> 5A 01 01 A7 01 97 C1"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("laser-off (A7) 01"), std::string::npos) << "the request decoded\n" << run.err;
  EXPECT_NE(run.err.find("<< "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("!! stray bytes"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("!! bad CRC: laser-off (A7)"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.find("trace") == std::string::npos) << "the trace goes to stderr";

  const Finished clean = focusctl({"--sim", "--trace", "laser-off"});
  EXPECT_EQ(clean.exit_code, 0);
  EXPECT_NE(clean.err.find("<< 5A 02 03 A7 01 01 00 D7 C3"), std::string::npos) << clean.err;
  EXPECT_NE(clean.err.find("laser-off (A7) ack ok"), std::string::npos) << clean.err;
  EXPECT_EQ(clean.err.find("!!"), std::string::npos) << clean.err;
  EXPECT_EQ(focusctl({"--sim", "laser-off"}).err.find("trace"), std::string::npos) << "no trace unasked";
}

TEST(TimeoutDiagnosis, NothingCameBack) {
  const Finished text = focusctl({"--sim", "--silent", "A7", "laser-off"});
  EXPECT_EQ(text.exit_code, 5);
  EXPECT_NE(text.out.find("no byte came back"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("the wrong port"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("power"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("115200"), std::string::npos) << text.out;

  const JsonValue json = only_object(focusctl({"--sim", "--json", "--silent", "A7", "laser-off"}));
  EXPECT_EQ(json.at("line").at("bytes").get<long long>(), 0);
  EXPECT_EQ(json.at("diagnosis").get<std::string>().rfind("no byte came back", 0), 0u)
      << json.at("diagnosis").get<std::string>();
}

TEST(TimeoutDiagnosis, BadChecksumsCameBack) {
  const Finished text = focusctl({"--sim", "--corrupt", "1", "--replay", "1", "laser-off"});
  EXPECT_EQ(text.exit_code, 5);
  EXPECT_NE(text.out.find("9 bytes came back: 1 frame, 1 with a bad CRC, 0 stray bytes"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("115200 baud"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("A and B swapped"), std::string::npos) << text.out;

  const JsonValue json = only_object(focusctl({"--sim", "--json", "--corrupt", "1", "laser-off"}));
  EXPECT_EQ(json.at("line").at("bytes").get<long long>(), 9);
  EXPECT_GE(
      json.at("line").at("bad_crc").get<long long>() + json.at("line").at("stray_bytes").get<long long>(), 1);

  const Finished echo = focusctl({"--sim", "--echo", "--silent", "A7", "laser-off"});
  EXPECT_NE(echo.out.find("1 of our own requests echoed"), std::string::npos) << echo.out;
  EXPECT_NE(echo.out.find("echoes what it sends"), std::string::npos) << echo.out;
}

TEST(Ports, ListsThePortsAsJsonAndTheOpenFailureNamesThem) {
  const Finished run = focusctl({"--json", "ports"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const JsonValue json = only_object(run);
  EXPECT_EQ(json.at("command").get<std::string>(), "ports");
  ASSERT_TRUE(json.at("ports").is_array());
  EXPECT_EQ(json.at("count").get<long long>(), static_cast<long long>(json.at("ports").size()));
  std::string names;
  for (const JsonValue& port : json.at("ports")) {
    EXPECT_EQ(port.at("name").get<std::string>().rfind("/dev/", 0), 0u) << port.at("name").get<std::string>();
    names += (names.empty() ? "" : ", ") + port.at("name").get<std::string>();
  }
  const Finished text = focusctl({"ports"});
  EXPECT_EQ(text.exit_code, 0);
  const Finished missing = focusctl({"--port", "/dev/focusctl-no-such-port", "laser-off"});
  EXPECT_NE(missing.err.find("serial ports found: " + (names.empty() ? std::string("none") : names)),
            std::string::npos)
      << missing.err;
}

TEST(Monitor, MeasuresARateOf200AndWritesCsvAndSvg) {
  TempDir dir;
  const std::string csv = dir.file("results.csv"), svg = dir.file("results.svg"), log = dir.file("sim.log");
  const Finished run = focusctl(
      {"--sim", "--rate", "200", "--log", log, "monitor", "--count", "200", "--csv", csv, "--plot", svg});
  ASSERT_EQ(run.exit_code, 0) << run.err;

  // One row per result, the values in the order the simulator sent them.
  std::istringstream rows(read_text(csv));
  std::string line;
  std::getline(rows, line);
  EXPECT_EQ(line, "host_ms,kind,status,code,value");
  std::vector<long> values;
  double last_ms = 0;
  while (std::getline(rows, line)) {
    double ms = 0;
    unsigned kind = 0, status = 0, code = 0;
    long value = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%u,%u,%u,%ld", &ms, &kind, &status, &code, &value), 5) << line;
    EXPECT_GE(ms, last_ms) << "host times never run backwards";
    last_ms = ms;
    EXPECT_EQ(kind, 2u);
    values.push_back(value);
  }
  ASSERT_EQ(values.size(), 200u);
  std::vector<long> sent;
  std::istringstream log_lines(read_text(log));
  const std::string marker = "focus result ok value ";
  while (std::getline(log_lines, line) && sent.size() < values.size()) {
    const std::size_t at = line.find(marker);
    if (line.find("dev->host") != std::string::npos && at != std::string::npos) {
      sent.push_back(std::stol(line.substr(at + marker.size())));
    }
  }
  EXPECT_EQ(values, sent);

  // The host reads every 100 ms, so results come 20 at a time; over the
  // whole run the rate is the simulator's.
  EXPECT_NE(run.out.find("200 results in "), std::string::npos) << run.out;
  const std::size_t rate_at = run.out.find("mean rate ");
  ASSERT_NE(rate_at, std::string::npos) << run.out;
  const double rate = std::stod(run.out.substr(rate_at + 10));
  EXPECT_GT(rate, 120);
  EXPECT_LT(rate, 280);
  EXPECT_NE(run.out.find("stddev"), std::string::npos);
  EXPECT_NE(run.out.find("longest gap"), std::string::npos);
  EXPECT_NE(run.err.find("keeps streaming"), std::string::npos) << run.err;

  // A well-formed SVG document: Python's XML parser reads it.
  const std::string document = read_text(svg);
  EXPECT_NE(document.find("<svg"), std::string::npos);
  EXPECT_EQ(count_of(document, "<polyline"), 1u);
  const Finished parsed = testing::run_program(
      "/usr/bin/python3",
      {"-c",
       "import sys, xml.etree.ElementTree as E\n"
       "root = E.parse(sys.argv[1]).getroot()\n"
       "assert root.tag == '{http://www.w3.org/2000/svg}svg', root.tag\n"
       "points = root.find('{http://www.w3.org/2000/svg}polyline').get('points').split()\n"
       "print(len(points))\n",
       svg});
  EXPECT_EQ(parsed.exit_code, 0) << parsed.err;
  EXPECT_EQ(parsed.out, "200\n");
}

// encode NAME gives exactly what the library's export writes: each export
// runs here on a scripted line and its request is compared.
struct EncodedExport {
  std::vector<std::string> encode;
  std::function<void(DeviceConnection*)> call;
};

void PrintTo(const EncodedExport& c, std::ostream* out) {
  *out << name_of(c.encode);
}

class EncodeByName : public ::testing::TestWithParam<EncodedExport> {};

TEST_P(EncodeByName, GivesTheRequestTheExportSends) {
  focus::testing::ScriptedLine line;
  DeviceConnection* dev = connection::open_connection(line, "COM1");
  ASSERT_NE(dev, nullptr);
  GetParam().call(dev);
  connection::close_connection(dev);

  std::vector<std::string> args = {"encode"};
  args.insert(args.end(), GetParam().encode.begin(), GetParam().encode.end());
  const Finished run = focusctl(args);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, focus::testing::hex(line.written()) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    EveryExport, EncodeByName,
    ::testing::Values(
        EncodedExport{{"continuous-focus"}, [](DeviceConnection* d) { focus_continuous_focus(d); }},
        EncodedExport{{"calib-mode"}, [](DeviceConnection* d) { focus_calib_mode(d); }},
        EncodedExport{{"calib-move", "0", "0"}, [](DeviceConnection* d) { focus_calib_move(d, 0, 0); }},
        EncodedExport{{"calib-move", "10", "500"}, [](DeviceConnection* d) { focus_calib_move(d, 10, 500); }},
        EncodedExport{{"calib-save"}, [](DeviceConnection* d) { focus_calib_save(d); }},
        EncodedExport{{"laser-on", "0"}, [](DeviceConnection* d) { focus_laser_on(d, 0); }},
        EncodedExport{{"laser-on", "80"}, [](DeviceConnection* d) { focus_laser_on(d, 80); }},
        EncodedExport{{"laser-off"}, [](DeviceConnection* d) { focus_laser_off(d); }},
        EncodedExport{{"laser-power", "0"}, [](DeviceConnection* d) { focus_laser_power(d, 0); }},
        EncodedExport{{"single-range"}, [](DeviceConnection* d) { focus_single_range(d); }},
        EncodedExport{{"continuous-range"}, [](DeviceConnection* d) { focus_continuous_range(d); }},
        EncodedExport{{"lift-control", "0"}, [](DeviceConnection* d) { focus_lift_control(d, 0); }},
        EncodedExport{{"ext-trigger-set"}, [](DeviceConnection* d) { focus_ext_trigger_set(d); }},
        EncodedExport{{"ext-trigger-fire"}, [](DeviceConnection* d) { focus_ext_trigger_fire(d); }},
        EncodedExport{{"auto-descend"}, [](DeviceConnection* d) { focus_auto_descend(d); }},
        EncodedExport{{"fixed-cycle", "0", "0"}, [](DeviceConnection* d) { focus_fixed_cycle(d, 0, 0); }},
        EncodedExport{{"fixed-cycle", "300", "500"},
                      [](DeviceConnection* d) { focus_fixed_cycle(d, 300, 500); }},
        EncodedExport{{"sync-time-set", "0", "0", "0", "0"},
                      [](DeviceConnection* d) {
                        const SyncTime t{0, 0, 0, 0};
                        focus_sync_time_set(d, &t);
                      }},
        EncodedExport{{"sync-time-set", "1", "2", "3", "65535"},
                      [](DeviceConnection* d) {
                        const SyncTime t{1, 2, 3, 65535};
                        focus_sync_time_set(d, &t);
                      }},
        EncodedExport{{"sync-time-get"}, [](DeviceConnection* d) { focus_sync_time_get(d); }},
        EncodedExport{{"power-off"}, [](DeviceConnection* d) { focus_power_off(d); }},
        EncodedExport{{"single-focus"}, [](DeviceConnection* d) { focus_single_focus(d); }},
        EncodedExport{{"single-focus", "--timeout", "0"},
                      [](DeviceConnection* d) { focus_single_focus_timeout(d, 100); }},
        EncodedExport{{"sys-info"},
                      [](DeviceConnection* d) {
                        SysInfo info{};
                        focus_read_sys_info(d, &info);
                      }}),
    [](const auto& info) { return std::to_string(info.index) + "_" + name_of(info.param.encode); });

TEST(EncodeByName, LaserOffIsTheLibrarysRequestNotARawFrame) {
  EXPECT_EQ(focusctl({"encode", "laser-off"}).out, "5A 01 01 A7 01 97 C1\n");
  EXPECT_EQ(focusctl({"encode", "A7"}).out, "5A 01 00 A7 02 86\n") << "a hex code stays a raw frame";
}

}  // namespace
}  // namespace focus::ctl
