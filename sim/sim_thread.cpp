#include "sim_thread.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace focus::sim {

std::uint64_t resolve_replay_key(const SimOptions& options) {
  if (options.replay_key) return *options.replay_key;
  std::random_device device;
  return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

bool open_traffic_log(const std::string& target, TrafficSink& sink, std::string& error) {
  sink = {};
  if (target.empty()) return true;
  std::shared_ptr<std::FILE> file;
  if (target == "-") {
    file = std::shared_ptr<std::FILE>(stderr, [](std::FILE*) {});
  } else {
    std::FILE* opened = std::fopen(target.c_str(), "w");
    if (opened == nullptr) {
      error = target + ": " + std::strerror(errno);
      return false;
    }
    file = std::shared_ptr<std::FILE>(opened, [](std::FILE* f) { std::fclose(f); });
  }
  // Flushed line by line, so that a log read while the simulator runs is
  // up to date.
  sink = [file](const TrafficEvent& event) {
    std::fprintf(file.get(), "%s\n", format_traffic(event).c_str());
    std::fflush(file.get());
  };
  return true;
}

std::unique_ptr<SimulatorThread> SimulatorThread::start(const SimOptions& options, std::string& error,
                                                        TrafficSink sink) {
  std::unique_ptr<PtyLine> line = PtyLine::open(error);
  if (!line) return nullptr;
  if (!options.link.empty() && !line->link_to(options.link, error)) return nullptr;
  return std::unique_ptr<SimulatorThread>(
      new SimulatorThread(std::move(line), options, resolve_replay_key(options), std::move(sink)));
}

SimulatorThread::SimulatorThread(std::unique_ptr<PtyLine> line, const SimOptions& options,
                                 std::uint64_t replay_key, TrafficSink sink)
    : line_(std::move(line)), replay_key_(replay_key), simulator_(options, replay_key, std::move(sink)) {
  thread_ = std::thread([this] { line_->serve(simulator_); });
}

SimulatorThread::~SimulatorThread() {
  line_->request_stop();
  thread_.join();
}

}  // namespace focus::sim
