#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace focus::testing {

namespace {

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

Child::Child(const std::string& program, const std::vector<std::string>& args, const std::string& input) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0 ||
      ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(in_pipe[0], STDIN_FILENO);
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  std::size_t written = 0;
  while (written < input.size()) {
    const ssize_t put = ::write(in_pipe[1], input.data() + written, input.size() - written);
    if (put <= 0) break;
    written += static_cast<std::size_t>(put);
  }
  ::close(in_pipe[1]);
  out_ = out_pipe[0];
  err_ = err_pipe[0];
}

Child::~Child() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) ::close(out_);
  if (err_ >= 0) ::close(err_);
}

bool Child::pump(std::chrono::milliseconds limit) {
  pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
  const int open_count = (out_ >= 0) + (err_ >= 0);
  if (open_count == 0) return false;
  if (::poll(fds, 2, static_cast<int>(limit.count())) <= 0) return true;
  char buffer[4096];
  int* fd[2] = {&out_, &err_};
  std::string* text[2] = {&out_text_, &err_text_};
  for (int i = 0; i < 2; ++i) {
    if (*fd[i] < 0 || fds[i].revents == 0) continue;
    const ssize_t got = ::read(*fd[i], buffer, sizeof buffer);
    if (got > 0) {
      text[i]->append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      ::close(*fd[i]);
      *fd[i] = -1;
    }
  }
  return true;
}

std::optional<std::string> Child::read_line(std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    const std::size_t end = out_text_.find('\n', out_taken_);
    if (end != std::string::npos) {
      std::string line = out_text_.substr(out_taken_, end - out_taken_);
      out_taken_ = end + 1;
      return line;
    }
    if (out_ < 0 || Clock::now() >= deadline) return std::nullopt;
    pump(std::chrono::milliseconds(ms_left(deadline)));
  }
}

void Child::send_signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

Finished Child::wait(std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  Finished finished;
  while ((out_ >= 0 || err_ >= 0) && Clock::now() < deadline)
    pump(std::chrono::milliseconds(ms_left(deadline)));
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (Clock::now() >= deadline) {
      finished.timed_out = true;
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    ::usleep(5000);
  }
  pid_ = -1;
  if (WIFEXITED(status)) finished.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) finished.signal = WTERMSIG(status);
  finished.out = out_text_.substr(out_taken_);
  finished.err = err_text_;
  return finished;
}

Finished run_program(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input, std::chrono::milliseconds limit) {
  Child child(program, args, input);
  return child.wait(limit);
}

}  // namespace focus::testing
