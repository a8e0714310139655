// qlm7305-sim: serves a simulated QLM7305 module on a pseudo-terminal or a serial device
// until SIGINT or SIGTERM.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <string>
#include <variant>
#include <vector>

#include "tools/qlm7305_sim/command_line.h"
#include "tools/qlm7305_sim/simulated_module.h"
#include "tools/qlm7305_sim/unique_fd.h"

namespace {

constexpr int kUsageExit = 2;

void Report(const std::string& text) { std::fprintf(stderr, "qlm7305-sim: %s\n", text.c_str()); }

// The signals are blocked in every thread (the module's thread inherits the mask) and
// read from a signalfd, so a stop request is handled here, outside any signal handler.
// An ignored signal would be discarded before it reached the signalfd, and a shell starts
// background jobs with SIGINT ignored: both get their default disposition back first.
sim::UniqueFd BlockStopSignals() {
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return sim::UniqueFd(::signalfd(-1, &set, SFD_CLOEXEC));
}

void WaitForStopSignal(int fd) {
  signalfd_siginfo info{};
  while (::read(fd, &info, sizeof info) < 0 && errno == EINTR) {
  }
}

std::string Describe(const sim::SimulatorOptions& o, const std::string& path) {
  std::string text =
      "slave " + std::to_string(o.address) + " at " + std::to_string(o.baud) + " baud on " + path;
  text += o.values == sim::ValueMode::kFixed
              ? ", fixed values"
              : ", live values (seed " + std::to_string(o.seed) + ")";
  if (!o.link.empty()) text += ", link " + o.link;
  return text + "; stop with Ctrl+C";
}

int Serve(sim::SimulatorOptions options) {
  const sim::UniqueFd signals = BlockStopSignals();
  if (!signals.Valid()) {
    Report("cannot watch for signals");
    return 1;
  }
  options.log = Report;
  try {
    sim::SimulatedModule module(options);
    std::printf("%s\n", module.SlavePath().c_str());
    std::fflush(stdout);
    Report(Describe(options, module.SlavePath()));
    WaitForStopSignal(signals.Get());
    module.Stop();
  } catch (const std::exception& e) {
    Report(e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  auto parsed = sim::ParseCommandLine(args);
  if (const auto* error = std::get_if<sim::UsageError>(&parsed)) {
    Report(error->message);
    std::fprintf(stderr, "%s\n", sim::UsageLine().c_str());
    return kUsageExit;
  }
  auto& line = std::get<sim::CommandLine>(parsed);
  if (line.help) {
    std::printf("%s", sim::HelpText().c_str());
    return 0;
  }
  return Serve(std::move(line.options));
}
