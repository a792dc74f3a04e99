// focus-sim as a program: the contract that scripts and the Windows
// end-to-end tests rely on.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "focus.h"

namespace focus::sim {
namespace {

using namespace std::chrono_literals;
using testing::Child;

const std::string kProgram = FOCUS_SIM_PROGRAM;

std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + "focus_sim_" + std::to_string(::getpid()) + "_" + name;
}

bool exists(const std::string& path) {
  struct stat found {};
  return ::lstat(path.c_str(), &found) == 0;
}

TEST(FocusSimProgram, PrintsTheSlavePathFirstAndStopsCleanlyOnEitherSignal) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    Child sim(kProgram, {});
    const std::optional<std::string> path = sim.read_line(10s);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->rfind("/dev/pts/", 0), 0u) << *path;
    DeviceConnection* dev = focus_init(path->c_str());
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(focus_laser_off(dev), FOCUS_OK);
    focus_close(dev);
    sim.send_signal(signal);
    const testing::Finished finished = sim.wait(10s);
    EXPECT_FALSE(finished.timed_out);
    EXPECT_EQ(finished.signal, 0);
    EXPECT_EQ(finished.exit_code, 0) << finished.err;
  }
}

TEST(FocusSimProgram, TheLinkLeadsToTheLineAndGoesWithTheSimulator) {
  const std::string link = temp_path("link");
  Child sim(kProgram, {"--link", link, "--refuse", "0xA7"});
  const std::optional<std::string> path = sim.read_line(10s);
  ASSERT_TRUE(path);
  char target[256] = {0};
  ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(*path, target);
  DeviceConnection* dev = focus_init(link.c_str());
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(focus_laser_off(dev), FOCUS_ERR_DEVICE) << "--refuse 0xA7 reached the device";
  EXPECT_EQ(focus_laser_on(dev, 1), FOCUS_OK);
  focus_close(dev);
  sim.send_signal(SIGTERM);
  EXPECT_EQ(sim.wait(10s).exit_code, 0);
  EXPECT_FALSE(exists(link));
}

TEST(FocusSimProgram, TheLogHasALinePerFrameEachWay) {
  const std::string log = temp_path("log");
  Child sim(kProgram, {"--log", log, "--replay", "3"});
  const std::optional<std::string> path = sim.read_line(10s);
  ASSERT_TRUE(path);
  DeviceConnection* dev = focus_init(path->c_str());
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(focus_laser_off(dev), FOCUS_OK);
  focus_close(dev);
  sim.send_signal(SIGTERM);
  ASSERT_EQ(sim.wait(10s).exit_code, 0);
  std::ifstream file(log);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_NE(text.str().find("host->dev  5A 01 01 A7 01 97 C1  laser-off (A7) 01\n"), std::string::npos)
      << text.str();
  EXPECT_NE(text.str().find("dev->host  5A 02 03 A7 01 01 00"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("laser-off (A7) ack ok\n"), std::string::npos) << text.str();
  std::remove(log.c_str());
}

TEST(FocusSimProgram, BadOptionsExitWithTheUsageCode) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--rate", "0"}, {"--refuse", "nonsense"}, {"--bogus"}, {"--noise"}}) {
    const testing::Finished finished = testing::run_program(kProgram, args, "", 10s);
    EXPECT_EQ(finished.exit_code, 2) << args[0];
    EXPECT_NE(finished.err.find("usage: focus-sim"), std::string::npos);
    EXPECT_TRUE(finished.out.empty()) << "no path is printed";
  }
}

TEST(FocusSimProgram, ALinkThatWouldReplaceAFileIsRefused) {
  const std::string file = temp_path("file");
  std::ofstream(file) << "keep me";
  const testing::Finished finished = testing::run_program(kProgram, {"--link", file}, "", 10s);
  EXPECT_EQ(finished.exit_code, 1);
  EXPECT_NE(finished.err.find("not a symlink"), std::string::npos) << finished.err;
  std::ifstream kept(file);
  std::string content;
  std::getline(kept, content);
  EXPECT_EQ(content, "keep me");
  std::remove(file.c_str());
}

}  // namespace
}  // namespace focus::sim
