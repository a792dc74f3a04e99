#include "pty_device.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace focus::testing {

PtyDevice::PtyDevice() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  path_ = ::ptsname(master_);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyDevice::~PtyDevice() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  ::close(master_);
}

void PtyDevice::serve(Script script) {
  script_ = std::move(script);
  thread_ = std::thread([this] { run(); });
}

std::vector<Bytes> PtyDevice::requests() const {
  const std::lock_guard<std::mutex> hold(requests_lock_);
  return requests_;
}

void PtyDevice::run() {
  Bytes pending;
  while (!stop_) {
    pollfd entry{master_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, 20);
    if (ready > 0 && !(entry.revents & POLLIN)) {
      // No slave open yet (or just closed): nothing to read.
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    std::uint8_t chunk[512];
    const ssize_t got = ::read(master_, chunk, sizeof chunk);
    if (got <= 0) continue;
    pending.insert(pending.end(), chunk, chunk + got);
    // Host frames, found by header and CRC.
    std::size_t pos = 0;
    while (pos + protocol::kFrameOverhead <= pending.size()) {
      if (pending[pos] != protocol::kHeader) {
        ++pos;
        continue;
      }
      const std::size_t size = pending[pos + 2] + protocol::kFrameOverhead;
      if (pos + size > pending.size()) break;
      protocol::Frame request;
      if (!protocol::decode_frame(pending.data() + pos, size, request)) {
        ++pos;
        continue;
      }
      {
        const std::lock_guard<std::mutex> hold(requests_lock_);
        requests_.emplace_back(pending.begin() + static_cast<std::ptrdiff_t>(pos),
                               pending.begin() + static_cast<std::ptrdiff_t>(pos + size));
      }
      pos += size;
      // Each reply is due its delay after the one before, on an absolute
      // schedule, so that a long stream keeps its rate.
      auto due = std::chrono::steady_clock::now();
      for (const auto& [delay, bytes] : script_(request)) {
        if (stop_) break;
        due += std::chrono::milliseconds(delay);
        std::this_thread::sleep_until(due);
        std::size_t sent = 0;
        while (sent < bytes.size() && !stop_) {
          const ssize_t put = ::write(master_, bytes.data() + sent, bytes.size() - sent);
          if (put > 0)
            sent += static_cast<std::size_t>(put);
          else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      }
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(pos));
  }
}

}  // namespace focus::testing
