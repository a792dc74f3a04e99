// focusctl's parts that need no device: argument checks, port names, JSON
// text, exit codes.
#include <gtest/gtest.h>

#include "command_catalog.h"
#include "device_commands.h"
#include "device_session.h"
#include "invocation.h"
#include "json_output.h"
#include "port_name.h"
#include "status_codes.h"

namespace focus::ctl {
namespace {

TEST(PortName, WindowsGetsTheDeviceNamespaceFromCom10Up) {
  const std::pair<const char*, const char*> cases[] = {
      {"COM1", "COM1"},
      {"COM9", "COM9"},
      {"COM10", "\\\\.\\COM10"},
      {"com12", "\\\\.\\com12"},
      {"COM256", "\\\\.\\COM256"},
      {"\\\\.\\COM10", "\\\\.\\COM10"},
      {"COM1X", "COM1X"},
      {"COM010", "COM010"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"", ""},
  };
  for (const auto& [given, expected] : cases) EXPECT_EQ(windows_port_path(given), expected) << given;
#ifndef _WIN32
  EXPECT_EQ(library_port_name("COM12"), "COM12") << "only Windows adds the prefix";
#endif
}

struct ParseCase {
  std::vector<std::string> argv;
  bool ok;
  const char* error_part;  // for a failure
};

TEST(Invocation, GlobalOptionsComeBeforeTheCommand) {
  Invocation out;
  std::string error;
  ASSERT_TRUE(parse_invocation({"--port", "/dev/ttyUSB0", "laser-on", "80", "--json"}, out, error)) << error;
  EXPECT_EQ(out.port, "/dev/ttyUSB0");
  EXPECT_EQ(out.command, "laser-on");
  EXPECT_EQ(out.args, std::vector<std::string>{"80"});
  EXPECT_TRUE(out.json) << "--json is taken anywhere";
  EXPECT_FALSE(out.prompt);
  Invocation prompt;
  ASSERT_TRUE(parse_invocation({"--prompt", "--port", "COM3", "laser-off"}, prompt, error)) << error;
  EXPECT_TRUE(prompt.prompt);
#ifndef _WIN32
  Invocation sim;
  ASSERT_TRUE(parse_invocation({"--sim", "--refuse", "A7", "--split", "--json", "sys-info"}, sim, error))
      << error;
  EXPECT_TRUE(sim.sim_requested);
  EXPECT_TRUE(sim.sim.device.refuse.test(0xA7));
  EXPECT_TRUE(sim.sim.line.split);
  EXPECT_EQ(sim.command, "sys-info");
#endif
}

TEST(Invocation, BadCommandLinesSayWhatIsWrong) {
  const ParseCase cases[] = {
      {{}, false, "no command"},
      {{"--port"}, false, "--port needs"},
      {{"--bogus", "laser-off"}, false, "unknown option --bogus"},
#ifndef _WIN32
      {{"--port", "/dev/x", "--sim", "laser-off"}, false, "exclude each other"},
      {{"--port", "/dev/x", "--split", "laser-off"}, false, "exclude each other"},
      {{"--rate", "0", "laser-off"}, false, "--rate 0"},
#else
      {{"--sim", "laser-off"}, false, "needs Linux"},
#endif
      {{"--help"}, true, ""},
  };
  for (const ParseCase& c : cases) {
    Invocation out;
    std::string error;
    EXPECT_EQ(parse_invocation(c.argv, out, error), c.ok) << (c.argv.empty() ? "(none)" : c.argv[0]);
    if (!c.ok) {
      EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
    }
  }
}

TEST(DeviceCommands, ValuesAreCheckedAgainstTheBitsTheLibrarySends) {
  const SimpleCommand* calib_move = find_simple_command("calib-move");
  ASSERT_NE(calib_move, nullptr);
  Values values;
  std::string error;
  EXPECT_TRUE(parse_values("calib-move", calib_move->args, {"255", "0xFFFF"}, values, error)) << error;
  EXPECT_EQ(values, (Values{255, 65535}));
  EXPECT_FALSE(parse_values("calib-move", calib_move->args, {"256", "1"}, values, error));
  EXPECT_NE(error.find("X must be a whole number from 0 to 255, not \"256\""), std::string::npos) << error;
  EXPECT_FALSE(parse_values("calib-move", calib_move->args, {"1", "65536"}, values, error));
  EXPECT_FALSE(parse_values("calib-move", calib_move->args, {"1"}, values, error));
  EXPECT_NE(error.find("takes 2 arguments, got 1 (calib-move X Y)"), std::string::npos) << error;
  for (const char* bad : {"", "-1", "1.5", "0x", "12a", " 1"}) {
    std::uint32_t ignored = 0;
    EXPECT_FALSE(parse_uint(bad, 255, ignored)) << bad;
  }
}

TEST(DeviceCommands, EveryCatalogCommandHasItsSubcommandOfTheSameName) {
  for (const text::CommandInfo& info : text::command_catalog()) {
    if (info.name == "single-focus" || info.name == "sys-info") continue;  // commands of their own
    const SimpleCommand* command = find_simple_command(info.name);
    ASSERT_NE(command, nullptr) << info.name;
    EXPECT_EQ(command->export_name, info.export_name);
  }
  EXPECT_EQ(simple_commands().size(), 17u);
  EXPECT_EQ(call_text("focus_fixed_cycle", {300, 500}), "focus_fixed_cycle(300, 500)");
}

TEST(JsonOutput, KeepsTheFieldOrderAndUtf8AndSurvivesBadBytes) {
  Json json = Json::object();
  json["error"] = "单次对焦失败，设备错误码:7";
  json["odd"] = "a\"b\\c\nd\x01";
  json["status"] = -6;
  json["none"] = nullptr;
  EXPECT_EQ(json_line(json),
            "{\"error\":\"单次对焦失败，设备错误码:7\",\"odd\":\"a\\\"b\\\\c\\nd\\u0001\",\"status\":-6,"
            "\"none\":null}");
  // A port name in another encoding must not end focusctl.
  json["device"] = std::string("COM\xff");
  EXPECT_NE(json_line(json).find("\"device\":\"COM\xef\xbf\xbd\""), std::string::npos) << json_line(json);
}

TEST(StatusCodes, EachFailureClassHasItsExitCode) {
  EXPECT_EQ(exit_code_for(FOCUS_OK), kExitOk);
  EXPECT_EQ(exit_code_for(FOCUS_ERR_DEVICE), kExitDevice);
  EXPECT_EQ(exit_code_for(FOCUS_ERR_TIMEOUT), kExitTimeout);
  EXPECT_EQ(exit_code_for(FOCUS_ERR_WRITE), kExitWrite);
  EXPECT_EQ(exit_code_for(FOCUS_ERR_NO_MEMORY), kExitFailure);
  EXPECT_EQ(exit_code_for(FOCUS_ERR_NOT_OPEN), kExitFailure);
}

TEST(StatusCodes, OnlyCallsThatStoreAMessageShowIt) {
  EXPECT_TRUE(call_stores_message(true, FOCUS_ERR_DEVICE));
  EXPECT_TRUE(call_stores_message(true, FOCUS_ERR_TIMEOUT));
  EXPECT_FALSE(call_stores_message(false, FOCUS_ERR_DEVICE)) << "a refused simple command stores none";
  EXPECT_FALSE(call_stores_message(false, FOCUS_ERR_TIMEOUT));
  EXPECT_TRUE(call_stores_message(false, FOCUS_ERR_WRITE));
  EXPECT_TRUE(call_stores_message(false, FOCUS_ERR_NOT_OPEN));
}

}  // namespace
}  // namespace focus::ctl
