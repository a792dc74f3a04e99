#include "wait_notice.h"

#include <chrono>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace focus::ctl {

bool stderr_is_terminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

WaitNotice::WaitNotice(bool enabled, std::string what) : what_(std::move(what)) {
  if (enabled) thread_ = std::thread([this] { run(); });
}

WaitNotice::~WaitNotice() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  wake_.notify_one();
  thread_.join();
  if (shown_) {
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(what_.size()) + 40, "");
    std::fflush(stderr);
  }
}

void WaitNotice::run() {
  using namespace std::chrono;
  const auto start = steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  if (wake_.wait_for(lock, milliseconds(kShowAfterMs), [this] { return done_; })) return;
  for (;;) {
    const double seconds = duration<double>(steady_clock::now() - start).count();
    std::fprintf(stderr, "\rwaiting for the device (%s) %.0f s ...", what_.c_str(), seconds);
    std::fflush(stderr);
    shown_ = true;
    if (wake_.wait_for(lock, milliseconds(500), [this] { return done_; })) return;
  }
}

}  // namespace focus::ctl
