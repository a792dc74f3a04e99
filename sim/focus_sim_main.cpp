// focus-sim: the focus device on a pseudo-terminal, for hosts to be tried
// against without the device, and against faults it would rarely show.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "pty_line.h"
#include "sim_cli.h"
#include "sim_options.h"
#include "sim_thread.h"
#include "simulator.h"

namespace {

volatile std::sig_atomic_t g_stop_fd = -1;

extern "C" void on_stop_signal(int) {
  const int fd = g_stop_fd;
  if (fd < 0) return;
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
}

constexpr int kExitUsage = 2;
constexpr int kExitNoLine = 1;

}  // namespace

int main(int argc, char** argv) {
  using namespace focus::sim;
  SimOptions options;
  CLI::App app(
      "Plays the focus device on a pseudo-terminal. Prints the path for the host to open on the first line "
      "of "
      "output, then serves until SIGINT or SIGTERM.",
      "focus-sim");
  app.set_version_flag("--version", std::string("focus-sim ") + FOCUS_PROJECT_VERSION);
  bool given = false;
  add_sim_options(app, options, given, "Options");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForVersion&) {
    std::printf("focus-sim %s\n", FOCUS_PROJECT_VERSION);
    return 0;
  } catch (const CLI::Success& done) {
    return app.exit(done);
  } catch (const CLI::ParseError& failure) {
    std::fprintf(stderr, "focus-sim: %s\nusage: focus-sim [OPTIONS]   (focus-sim --help lists them)\n",
                 failure.what());
    return kExitUsage;
  }

  std::string error;
  TrafficSink sink;
  if (!open_traffic_log(options.log, sink, error)) {
    std::fprintf(stderr, "focus-sim: cannot open the log: %s\n", error.c_str());
    return kExitNoLine;
  }
  std::unique_ptr<PtyLine> line = PtyLine::open(error);
  if (!line || (!options.link.empty() && !line->link_to(options.link, error))) {
    std::fprintf(stderr, "focus-sim: %s\n", error.c_str());
    return kExitNoLine;
  }
  const std::uint64_t replay_key = resolve_replay_key(options);

  std::printf("%s\n", line->slave_path().c_str());
  std::fflush(stdout);
  std::fprintf(stderr, "focus-sim: serving %s%s%s, replay with --replay %llu; Ctrl-C stops\n",
               line->slave_path().c_str(), options.link.empty() ? "" : " as ", options.link.c_str(),
               static_cast<unsigned long long>(replay_key));

  g_stop_fd = line->stop_fd();
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  Simulator simulator(options, replay_key, sink);
  line->serve(simulator);
  g_stop_fd = -1;
  return 0;
}
