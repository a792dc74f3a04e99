// The simulator's end of a pseudo-terminal: the host opens the slave path
// as it would open a serial port, and the simulator serves the master.
#pragma once

#include <memory>
#include <string>

#include "simulator.h"

namespace focus::sim {

class PtyLine {
 public:
  // A new pseudo-terminal, raw at 115200 8N1. Null, with the reason in
  // `error`, when none can be had.
  static std::unique_ptr<PtyLine> open(std::string& error);
  ~PtyLine();
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  const std::string& slave_path() const { return slave_path_; }

  // A symlink at `path` to the slave, removed again with the line. A stale
  // symlink there is replaced; any other file is left alone (false).
  bool link_to(const std::string& path, std::string& error);

  // Serves `sim` on the line until a stop is requested; times given to the
  // simulator are milliseconds since the call.
  void serve(Simulator& sim);

  // Ends serve() soon; safe from any thread and from a signal handler.
  void request_stop();
  // The descriptor request_stop() writes to, for a signal handler.
  int stop_fd() const { return stop_write_; }

 private:
  PtyLine(int master, int slave, int stop_read, int stop_write, std::string slave_path);
  void write_all(const protocol::Bytes& bytes);

  int master_;
  // Held open so that the line stays up while no host has it open: a master
  // whose slave is closed by everyone reports hang-up on every poll.
  int slave_;
  int stop_read_;
  int stop_write_;
  std::string slave_path_;
  std::string link_path_;
};

}  // namespace focus::sim
