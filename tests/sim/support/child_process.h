// Programs run as child processes by the tests, with their output captured.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace focus::testing {

struct Finished {
  int exit_code = -1;  // -1 when killed by a signal
  int signal = 0;      // the signal that ended it, if one did
  bool timed_out = false;
  std::string out;
  std::string err;
};

// A running child with its standard output and error on pipes.
class Child {
 public:
  // Starts `program` with `args`; `input` is written to its standard input,
  // which is then closed.
  Child(const std::string& program, const std::vector<std::string>& args, const std::string& input = "");
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The next line of standard output, without its newline; nullopt when none
  // came within `limit` or the output ended.
  std::optional<std::string> read_line(std::chrono::milliseconds limit);
  void send_signal(int signal);
  // Waits for the end, reading the rest of the output; kills the child when
  // `limit` passes first.
  Finished wait(std::chrono::milliseconds limit);

 private:
  // Reads what is there, up to `limit`; false at the end of both outputs.
  bool pump(std::chrono::milliseconds limit);

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string out_text_;
  std::size_t out_taken_ = 0;  // bytes of out_text_ already given by read_line
  std::string err_text_;
};

// Runs a program to its end.
Finished run_program(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input = "",
                     std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace focus::testing
