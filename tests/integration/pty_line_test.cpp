// The POSIX backend and the library over real pseudo-terminals, in real
// time, with the test playing the device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "focus.h"
#include "pty_device.h"
#include "scripted_line.h"

namespace focus::testing {
namespace {

using Clock = std::chrono::steady_clock;

PtyDevice::Replies acknowledge_everything(const protocol::Frame& request) {
  PtyDevice::Replies replies{{2, device_frame(request.command, {0x01, 0x01, 0x00})}};
  switch (request.command) {
    case 0xA1: replies.push_back({150, device_frame(0xA1, {0x02, 0x01, 0x00})}); break;
    case 0xA9: replies.push_back({0, device_frame(0xA9, {0x03, 0x01, 0x00, 0x2C, 0x01})}); break;
    case 0xF5:
      replies.push_back({5, device_frame(0xF5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})});
      break;
    default: break;
  }
  return replies;
}

TEST(PtyLine, OpensRawAt115200EightNoneOneAndKeepsHardwareFlowControl) {
  PtyDevice device;
  const int probe = ::open(device.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(probe, 0);
  termios before{};
  ASSERT_EQ(::tcgetattr(probe, &before), 0);
  ::cfsetospeed(&before, B9600);
  ::cfsetispeed(&before, B9600);
  before.c_cflag = (before.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
  ASSERT_EQ(::tcsetattr(probe, TCSANOW, &before), 0);

  DeviceConnection* dev = focus_init(device.path().c_str());
  ASSERT_NE(dev, nullptr) << std::strerror(errno);
  termios after{};
  ASSERT_EQ(::tcgetattr(probe, &after), 0);
  EXPECT_EQ(::cfgetospeed(&after), B115200);
  EXPECT_EQ(::cfgetispeed(&after), B115200);
  EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(after.c_cflag & PARENB);
  EXPECT_FALSE(after.c_cflag & CSTOPB);
  EXPECT_TRUE(after.c_cflag & CRTSCTS) << "hardware flow control as the driver had it";
  EXPECT_FALSE(after.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(after.c_iflag & (ICRNL | IXON | ISTRIP));
  EXPECT_FALSE(after.c_oflag & OPOST);
  focus_close(dev);
  ::close(probe);
}

TEST(PtyLine, ACommandIsAcknowledgedOverTheLine) {
  PtyDevice device;
  device.serve(acknowledge_everything);
  DeviceConnection* dev = focus_init(device.path().c_str());
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(focus_fixed_cycle(dev, 300, 500), FOCUS_OK);
  ASSERT_EQ(device.requests().size(), 1u);
  EXPECT_EQ(device.requests()[0], (Bytes{0x5A, 0x01, 0x05, 0xC2, 0x01, 0x2C, 0x01, 0xF4, 0x01, 0xEF, 0xED}));
  focus_close(dev);
}

TEST(PtyLine, SingleFocusQueryAndSysInfoEndToEnd) {
  PtyDevice device;
  device.serve(acknowledge_everything);
  DeviceConnection* dev = focus_init(device.path().c_str());
  ASSERT_NE(dev, nullptr);

  EXPECT_EQ(focus_single_focus(dev), FOCUS_OK) << focus_get_error(dev);
  ASSERT_EQ(focus_single_range(dev), FOCUS_OK);
  QueryResult result{};
  ASSERT_EQ(focus_query_result(dev, &result), FOCUS_OK);
  EXPECT_EQ(result.kind, 3);
  EXPECT_EQ(+result.value, 300);
  SysInfo info{};
  ASSERT_EQ(focus_read_sys_info(dev, &info), FOCUS_OK);
  EXPECT_EQ(info.info1, 1);
  EXPECT_EQ(+info.info2, 0x0302);
  EXPECT_EQ(+info.info11, 0x0F0E);
  focus_close(dev);
}

TEST(PtyLine, TheOpenIsExclusiveAcrossConnectionsAndProcesses) {
  PtyDevice device;
  device.serve(acknowledge_everything);
  DeviceConnection* first = focus_init(device.path().c_str());
  ASSERT_NE(first, nullptr);

  errno = 0;
  EXPECT_EQ(focus_init(device.path().c_str()), nullptr);
  EXPECT_EQ(errno, EBUSY);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    DeviceConnection* other = focus_init(device.path().c_str());
    ::_exit(other == nullptr && errno == EBUSY ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process opened the port too";

  EXPECT_EQ(focus_laser_off(first), FOCUS_OK) << "the first connection works on";
  focus_close(first);
  DeviceConnection* again = focus_init(device.path().c_str());
  EXPECT_NE(again, nullptr) << "closing releases the port";
  focus_close(again);
}

TEST(PtyLine, ANameThatNamesNothingFailsWithTheSystemsReason) {
  errno = 0;
  DeviceConnection* dev = focus_init("/dev/focus-no-such-port");
  EXPECT_EQ(dev, nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_STREQ(focus_get_error(dev), "null handle");
}

std::string read_whole(const std::string& path) {
  std::string text;
  char chunk[256];
  const int fd = ::open(path.c_str(), O_RDONLY);
  for (ssize_t got; fd >= 0 && (got = ::read(fd, chunk, sizeof chunk)) > 0;) text.append(chunk, got);
  if (fd >= 0) ::close(fd);
  return text;
}

// Names that open but are no serial line: each is refused with the
// system's reason, promptly, and keeps its content.
TEST(PtyLine, ANameThatIsNoSerialLineIsRefusedAndNothingIsWritten) {
  char folder[] = "/tmp/focus-not-a-port-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string file = std::string(folder) + "/calibration.txt";
  const std::string fifo = std::string(folder) + "/fifo";
  const std::string content = "IMPORTANT DATA LINE 1\n";
  {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(fd);
  }
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

  const struct {
    std::string name;
    int reason;
  } cases[] = {{file, ENOTTY}, {"/dev/null", ENOTTY}, {fifo, ENOTTY}, {folder, EISDIR}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    errno = 0;
    const auto start = Clock::now();
    DeviceConnection* dev = focus_init(c.name.c_str());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << "the open never blocks";
    EXPECT_EQ(dev, nullptr);
    EXPECT_EQ(errno, c.reason);
    if (dev != nullptr) focus_close(dev);
  }
  EXPECT_EQ(read_whole(file), content) << "the file is byte for byte unchanged";

  ::unlink(fifo.c_str());
  ::unlink(file.c_str());
  ::rmdir(folder);
}

TEST(PtyLine, AWriteThatCannotCompleteGivesUpAfterTheStandingTimeout) {
  PtyDevice device;  // never reads: the line's buffer fills up
  DeviceConnection* dev = focus_init(device.path().c_str());
  ASSERT_NE(dev, nullptr);
  const int filler = ::open(device.path().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(filler, 0);
  // The kernel moves bytes on towards the master a little later, so fill
  // until several rounds in a row find no room.
  const std::string block(4096, 'x');
  for (int idle_rounds = 0; idle_rounds < 5;) {
    ssize_t round = 0;
    for (ssize_t put; (put = ::write(filler, block.data(), block.size())) > 0;) round += put;
    for (ssize_t put; (put = ::write(filler, block.data(), 1)) > 0;) round += put;
    idle_rounds = round > 0 ? 0 : idle_rounds + 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  const auto start = Clock::now();
  EXPECT_EQ(focus_laser_off(dev), FOCUS_ERR_WRITE);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_STREQ(focus_get_error(dev), "串口写入失败");
  EXPECT_GE(waited, 500) << "500 + 10 x 7 ms";
  EXPECT_LT(waited, 10000);
  ::close(filler);
  focus_close(dev);
}

// ---- The prompt wait mode and streams, in real time ------------------------

TEST(PtyLine, PromptModeAnswersACommandWellWithinThePacedFiftyMilliseconds) {
  PtyDevice device;
  device.serve([](const protocol::Frame& request) {
    return PtyDevice::Replies{{0, device_frame(request.command, {0x01, 0x01, 0x00})}};
  });
  DeviceConnection* dev = focus_init(device.path().c_str());
  ASSERT_NE(dev, nullptr);
  ASSERT_EQ(focus_set_wait_mode(dev, FOCUS_WAIT_PROMPT), FOCUS_OK);
  // A paced wait sleeps 50 ms before its first read, so even the fastest
  // of ten would take that long; the fastest is the one a loaded machine
  // disturbs least.
  long long fastest_us = -1;
  for (int i = 0; i < 10; ++i) {
    const auto start = Clock::now();
    ASSERT_EQ(focus_laser_off(dev), FOCUS_OK);
    const long long took_us =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    if (fastest_us < 0 || took_us < fastest_us) fastest_us = took_us;
  }
  EXPECT_LT(fastest_us, 25000) << "fastest of ten, in microseconds";
  focus_close(dev);
}

// The prompt read emulated with poll(): on a silent line it sleeps in the
// kernel until the bound, neither returning early nor spinning.
TEST(PtyLine, PromptModeWaitsOutASilentLineAsleep) {
  PtyDevice device;
  device.serve([](const protocol::Frame&) { return PtyDevice::Replies{}; });
  DeviceConnection* dev = focus_init(device.path().c_str());
  ASSERT_NE(dev, nullptr);
  ASSERT_EQ(focus_set_wait_mode(dev, FOCUS_WAIT_PROMPT), FOCUS_OK);
  timespec cpu_before{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_before);
  const auto start = Clock::now();
  EXPECT_EQ(focus_laser_off(dev), FOCUS_ERR_TIMEOUT);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  timespec cpu_after{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_after);
  const double cpu_ms =
      (cpu_after.tv_sec - cpu_before.tv_sec) * 1e3 + (cpu_after.tv_nsec - cpu_before.tv_nsec) / 1e6;
  EXPECT_GE(waited, 1490) << "the bound is 1.5 s";
  EXPECT_LT(waited, 5000);
  EXPECT_LT(cpu_ms, 300) << "a wait that spins burns the whole 1.5 s";
  focus_close(dev);
}

// Continuous ranging at 1000 results a second for 3 s, the host calling
// focus_query_result in a loop: every result arrives, in order, without
// the stream piling up behind the host.
class PtyStream : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(PtyStream, AThousandResultsASecondAllArrive) {
  constexpr int kResults = 3000;
  PtyDevice device;
  device.serve([](const protocol::Frame& request) {
    PtyDevice::Replies replies{{0, device_frame(request.command, {0x01, 0x01, 0x00})}};
    if (request.command == 0xAA) {
      for (int i = 0; i < kResults; ++i) {
        replies.push_back({1, device_frame(0xAA, {0x03, 0x01, 0x00, static_cast<std::uint8_t>(i & 0xFF),
                                                  static_cast<std::uint8_t>(i >> 8)})});
      }
    }
    return replies;
  });
  DeviceConnection* dev = focus_init(device.path().c_str());
  ASSERT_NE(dev, nullptr);
  ASSERT_EQ(focus_set_wait_mode(dev, GetParam()), FOCUS_OK);
  const auto start = Clock::now();
  ASSERT_EQ(focus_continuous_range(dev), FOCUS_OK);
  int taken = 0;
  // 3 s of stream and 1.5 s to spare; taking 512 bytes per 100 ms, as the
  // paced query did before it read on after a full read, needs 6.4 s.
  while (taken < kResults && Clock::now() - start < std::chrono::milliseconds(4500)) {
    QueryResult result{};
    if (focus_query_result(dev, &result) != FOCUS_OK) continue;
    ASSERT_EQ(result.kind, 3);
    ASSERT_EQ(+result.value, taken) << "in order, none skipped";
    ++taken;
  }
  EXPECT_EQ(taken, kResults);
  focus_close(dev);
}

INSTANTIATE_TEST_SUITE_P(Modes, PtyStream, ::testing::Values(FOCUS_WAIT_PACED, FOCUS_WAIT_PROMPT),
                         [](const auto& info) {
                           return info.param == FOCUS_WAIT_PACED ? "paced" : "prompt";
                         });

}  // namespace
}  // namespace focus::testing
