// The command line, and the qlm7305-sim program as a whole: start, serve, stop on a signal.
#include "tools/qlm7305_sim/command_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "modbus/requests.h"
#include "modbus/tests/reference_frames.h"
#include "tools/tests/fd_io.h"

extern char** environ;

namespace sim {
namespace {

using std::chrono::milliseconds;

CommandLine Parsed(const std::vector<std::string>& args) {
  auto result = ParseCommandLine(args);
  if (const auto* error = std::get_if<UsageError>(&result)) {
    ADD_FAILURE() << error->message;
    return {};
  }
  return std::get<CommandLine>(result);
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

TEST(CommandLine, DefaultsServeSlave1LiveAt9600) {
  const CommandLine line = Parsed({});
  EXPECT_EQ(line.options.baud, 9600);
  EXPECT_EQ(line.options.address, 1);
  EXPECT_EQ(line.options.values, ValueMode::kLive);
  EXPECT_FALSE(line.options.answer_mode);
  EXPECT_TRUE(line.options.device.empty());
  EXPECT_FALSE(line.help);
}

TEST(CommandLine, TakesEveryOptionInBothSpellings) {
  const CommandLine line =
      Parsed(Words("--baud 19200 --address=7 --fixed --seed 99 --answer-mode --silence 20 "
                   "--device /dev/ttyS1 "
                   "--link=/tmp/x --split 3 --split-gap 20 --corrupt-every 4 --noise 2 --echo "
                   "--drop-every 5 --late 30 --hangup-after 6 --hangup-for 250 --flood --verbose"));
  const SimulatorOptions& o = line.options;
  EXPECT_EQ(o.baud, 19200);
  EXPECT_EQ(o.address, 7);
  EXPECT_EQ(o.values, ValueMode::kFixed);
  EXPECT_EQ(o.seed, 99U);
  EXPECT_TRUE(o.answer_mode);
  EXPECT_EQ(o.frame_silence, milliseconds(20));
  EXPECT_EQ(o.device, "/dev/ttyS1");
  EXPECT_EQ(o.link, "/tmp/x");
  EXPECT_EQ(o.faults.split_pieces, 3);
  EXPECT_EQ(o.faults.split_gap, milliseconds(20));
  EXPECT_EQ(o.faults.corrupt_every, 4);
  EXPECT_EQ(o.faults.noise_bytes, 2);
  EXPECT_TRUE(o.faults.echo);
  EXPECT_EQ(o.faults.drop_every, 5);
  EXPECT_EQ(o.faults.late, milliseconds(30));
  EXPECT_EQ(o.faults.hangup_after, 6);
  EXPECT_EQ(o.faults.hangup_for, milliseconds(250));
  EXPECT_TRUE(o.faults.flood);
  EXPECT_TRUE(o.verbose);
}

TEST(CommandLine, RefusesBadArgumentsNamingTheCulprit) {
  struct Case {
    std::vector<std::string> args;
    std::string mentions;
  };
  const Case cases[] = {
      {{"--baud"}, "--baud needs a value"},
      {{"--baud", "fast"}, "'fast'"},
      {{"--baud=0"}, "50 to 4000000"},
      {{"--baud", "9600x"}, "'9600x'"},
      {{"--address", "0"}, "--address"},
      {{"--address", "248"}, "1 to 247"},
      {{"--seed", "-1"}, "--seed"},
      {{"--split", "0"}, "--split"},
      {{"--silence", "0"}, "--silence"},
      {{"--late", "-5"}, "--late"},
      {{"--fixed", "--live"}, "exclude each other"},
      {{"--echo=yes"}, "--echo takes no value"},
      {{"--device", ""}, "--device needs a path"},
      {{"--colour"}, "unknown option '--colour'"},
      {{"9600"}, "unknown option '9600'"},
  };
  for (const auto& c : cases) {
    auto result = ParseCommandLine(c.args);
    const auto* error = std::get_if<UsageError>(&result);
    ASSERT_NE(error, nullptr) << c.args.front();
    EXPECT_NE(error->message.find(c.mentions), std::string::npos) << error->message;
  }
}

// The program run as a child with its output on pipes; killed if a test leaves it running.
class Program {
 public:
  explicit Program(const std::vector<std::string>& args) {
    std::array<int, 2> out{};
    std::array<int, 2> err{};
    EXPECT_EQ(::pipe2(out.data(), O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(err.data(), O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> all = {QLM7305_SIM_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    stdout_ = UniqueFd(out[0]);
    stderr_ = UniqueFd(err[0]);
    pidfd_ = UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The exit status once it has ended within the timeout; -1 if it did not.
  int Wait(milliseconds timeout) {
    pollfd p{pidfd_.Get(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Signal(int signal) { ::kill(pid_, signal); }
  std::string FirstLine(milliseconds timeout) { return ReadLine(stdout_.Get(), timeout); }
  std::string ErrorText(milliseconds timeout) {
    const auto bytes = testing::ReadBytes(stderr_.Get(), 4096, timeout);
    return std::string(bytes.begin(), bytes.end());
  }

 private:
  static std::string ReadLine(int fd, milliseconds timeout) {
    std::string line;
    while (line.empty() || line.back() != '\n') {
      const auto byte = testing::ReadBytes(fd, 1, timeout);
      if (byte.empty()) break;
      line.push_back(static_cast<char>(byte[0]));
    }
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
  }

  pid_t pid_ = -1;
  UniqueFd stdout_;
  UniqueFd stderr_;
  UniqueFd pidfd_;
};

TEST(Program, ABadOptionExitsWith2AndTheUsageLine) {
  Program program({"--baud", "fast"});
  EXPECT_EQ(program.Wait(milliseconds(5000)), 2);
  const std::string text = program.ErrorText(milliseconds(1000));
  EXPECT_NE(text.find("--baud needs a whole number"), std::string::npos) << text;
  EXPECT_NE(text.find("usage: qlm7305-sim"), std::string::npos) << text;
}

TEST(Program, AMissingDeviceExitsWith1AndSaysWhy) {
  Program program({"--device", "/dev/no-such-serial-port"});
  EXPECT_EQ(program.Wait(milliseconds(5000)), 1);
  const std::string text = program.ErrorText(milliseconds(1000));
  EXPECT_NE(text.find("/dev/no-such-serial-port"), std::string::npos) << text;
}

TEST(Program, ServesThroughItsLinkAndRemovesItOnSigterm) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("qlm7305-sim-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string link = (dir / "module").string();
  Program program({"--fixed", "--baud", "115200", "--link", link});
  const std::string path = program.FirstLine(milliseconds(5000));
  EXPECT_EQ(path.rfind("/dev/pts/", 0), 0U) << path;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);

  const UniqueFd client = testing::OpenRawClient(link);
  ASSERT_TRUE(client.Valid());
  ASSERT_TRUE(testing::WriteAll(client.Get(), modbus::ReadAllRequest(1)));
  EXPECT_EQ(testing::ReadBytes(client.Get(), 53, milliseconds(5000)),
            modbus::testing_frames::ExampleResponse());

  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(milliseconds(5000)), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  std::filesystem::remove_all(dir);
}

TEST(Program, StopsOnSigint) {
  Program program({});
  EXPECT_FALSE(program.FirstLine(milliseconds(5000)).empty());
  program.Signal(SIGINT);
  EXPECT_EQ(program.Wait(milliseconds(5000)), 0);
}

}  // namespace
}  // namespace sim
