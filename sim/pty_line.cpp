#include "pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace focus::sim {

namespace {

std::string reason(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

void close_quietly(int fd) {
  if (fd >= 0) ::close(fd);
}

bool make_raw(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return false;
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B115200);
  ::cfsetospeed(&tio, B115200);
  return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// How long a write may wait for the host to make room before the rest of
// the bytes are dropped, as a line with nobody reading loses them.
constexpr int kWriteWaitMs = 50;
// Longest sleep between looks at the clock when nothing is due.
constexpr int kIdlePollMs = 1000;

}  // namespace

std::unique_ptr<PtyLine> PtyLine::open(std::string& error) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    error = reason("posix_openpt");
    return nullptr;
  }
  char name[128];
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
    error = reason("pseudo-terminal set-up");
    ::close(master);
    return nullptr;
  }
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (slave < 0 || !make_raw(slave) || ::fcntl(master, F_SETFL, O_NONBLOCK) != 0) {
    error = reason(name);
    close_quietly(slave);
    ::close(master);
    return nullptr;
  }
  int stop[2];
  if (::pipe2(stop, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = reason("pipe");
    ::close(slave);
    ::close(master);
    return nullptr;
  }
  return std::unique_ptr<PtyLine>(new PtyLine(master, slave, stop[0], stop[1], name));
}

PtyLine::PtyLine(int master, int slave, int stop_read, int stop_write, std::string slave_path)
    : master_(master),
      slave_(slave),
      stop_read_(stop_read),
      stop_write_(stop_write),
      slave_path_(std::move(slave_path)) {}

PtyLine::~PtyLine() {
  if (!link_path_.empty()) {
    char target[256];
    const ssize_t size = ::readlink(link_path_.c_str(), target, sizeof target - 1);
    if (size > 0 && slave_path_ == std::string(target, static_cast<std::size_t>(size))) {
      ::unlink(link_path_.c_str());
    }
  }
  ::close(master_);
  ::close(slave_);
  ::close(stop_read_);
  ::close(stop_write_);
}

bool PtyLine::link_to(const std::string& path, std::string& error) {
  struct stat found {};
  if (::lstat(path.c_str(), &found) == 0) {
    if (!S_ISLNK(found.st_mode)) {
      error = path + " exists and is not a symlink; not replacing it";
      return false;
    }
    ::unlink(path.c_str());
  }
  if (::symlink(slave_path_.c_str(), path.c_str()) != 0) {
    error = reason(path.c_str());
    return false;
  }
  link_path_ = path;
  return true;
}

void PtyLine::request_stop() {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(stop_write_, &byte, 1);
}

void PtyLine::write_all(const protocol::Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    pollfd room{master_, POLLOUT, 0};
    if (put < 0 && errno == EAGAIN && ::poll(&room, 1, kWriteWaitMs) > 0) continue;
    return;
  }
}

void PtyLine::serve(Simulator& sim) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const auto now_ms = [start] {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  };
  std::uint8_t buffer[4096];
  for (;;) {
    for (const protocol::Bytes& bytes : sim.take_due(now_ms())) write_all(bytes);

    int wait_ms = kIdlePollMs;
    if (const std::optional<std::uint64_t> next = sim.next_due()) {
      const std::uint64_t now = now_ms();
      wait_ms = *next <= now ? 0 : static_cast<int>(std::min<std::uint64_t>(*next - now, kIdlePollMs));
    }
    pollfd watched[2] = {{master_, POLLIN, 0}, {stop_read_, POLLIN, 0}};
    if (::poll(watched, 2, wait_ms) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) return;
    if (watched[0].revents & POLLIN) {
      for (;;) {
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) break;
        sim.receive(buffer, static_cast<std::size_t>(got), now_ms());
      }
    } else if (watched[0].revents & (POLLHUP | POLLERR)) {
      // Not expected while the slave is held open; do not spin if it is.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

}  // namespace focus::sim
