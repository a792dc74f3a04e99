// "waiting for the device..." on a terminal while a call takes longer than
// about a second, so that a long single focus does not look like a hang.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace focus::ctl {

// True when stderr is a terminal, where the notice can be drawn and erased.
bool stderr_is_terminal();

class WaitNotice {
 public:
  static constexpr int kShowAfterMs = 1000;

  // Shows nothing unless `enabled`; `what` names the call being waited on.
  WaitNotice(bool enabled, std::string what);
  // Erases the notice if it was shown.
  ~WaitNotice();
  WaitNotice(const WaitNotice&) = delete;
  WaitNotice& operator=(const WaitNotice&) = delete;

 private:
  void run();

  std::string what_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  bool shown_ = false;
  std::thread thread_;
};

}  // namespace focus::ctl
