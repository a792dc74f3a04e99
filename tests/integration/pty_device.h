// A device played by the test on the master side of a real pseudo-terminal:
// it reads host frames and answers each with what the test's script says.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "protocol/frame.h"

namespace focus::testing {

using protocol::Bytes;

class PtyDevice {
 public:
  // Replies to one request: each after its delay in ms from the previous.
  using Replies = std::vector<std::pair<int, Bytes>>;
  using Script = std::function<Replies(const protocol::Frame& request)>;

  PtyDevice();
  ~PtyDevice();
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;

  const std::string& path() const { return path_; }
  // Starts answering host frames on a thread of its own.
  void serve(Script script);
  // The host frames received so far.
  std::vector<Bytes> requests() const;

 private:
  void run();

  int master_ = -1;
  std::string path_;
  Script script_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex requests_lock_;
  std::vector<Bytes> requests_;
};

}  // namespace focus::testing
