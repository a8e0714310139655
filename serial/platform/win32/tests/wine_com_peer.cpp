// Host-side helper for the COM-port tests under Wine (a Linux program, built with the host
// compiler): gives the Windows test program serial ports whose far ends it plays.
//
//   wine_com_peer <wine runner> <program.exe> [arguments...]
//
// It asks the runner to prepare the Wine prefix (`runner --prepare program.exe` prints the
// prefix), makes three pseudo-terminals and links them into the prefix's dosdevices folder
// as COM ports with free numbers (10 and up, so the names need the "\\.\" prefix):
//   RTUTEST_COM_PORT     the port under test;
//   RTUTEST_COM_PEER     its far end: bytes pass unchanged both ways between the two;
//   RTUTEST_COM_CONTROL  any byte written here hangs the port under test up (its pty
//                        master is closed), as a removed adapter or a dropped line would.
// Then it runs `runner program.exe arguments...` with those names in the environment,
// relays until the program ends, removes the links and exits with the program's status.
//
// Two more environment variables serve programs that talk to a device on the port:
//   RTUTEST_COM_SERVE    when set, a Linux command (program and arguments, blank-separated)
//                        that serves the far end: it is started with `--device <far end>`,
//                        must print one line when it is ready, and gets SIGTERM at the end;
//   RTUTEST_COM_WIRE     set here: a file (as a Windows path) that receives every byte the
//                        port under test sends, in order, as it passes on the line.
// Each pty's slave side is also held open here, so a port that Wine closes between two
// tests does not hang up by itself.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "wine_com_peer: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(125);
}

struct Pty {
  int master = -1;
  int slave = -1;
  std::string link;  // dosdevices/comN
  std::string name;  // COMN
};

Pty OpenPty() {
  Pty p;
  p.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (p.master < 0 || ::grantpt(p.master) != 0 || ::unlockpt(p.master) != 0) Die("posix_openpt");
  const char* slave_path = ::ptsname(p.master);
  if (slave_path == nullptr) Die("ptsname");
  p.slave = ::open(slave_path, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (p.slave < 0) Die(std::string("open ") + slave_path);
  termios t{};
  ::tcgetattr(p.slave, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(p.slave, TCSANOW, &t);
  return p;
}

// Links the pty as the first free comN from 10 up; symlink() fails on a taken name, so
// parallel runs never share a port.
void LinkAsComPort(Pty& p, const std::string& dosdevices) {
  const std::string target = ::ptsname(p.master);
  for (int n = 10; n < 256; ++n) {
    const std::string link = dosdevices + "/com" + std::to_string(n);
    if (::symlink(target.c_str(), link.c_str()) == 0) {
      p.link = link;
      p.name = "COM" + std::to_string(n);
      return;
    }
    if (errno != EEXIST) Die("symlink " + link);
  }
  Die("no free COM number in " + dosdevices);
}

std::string PreparePrefix(const char* runner, const char* program) {
  const std::string command = std::string("'") + runner + "' --prepare '" + program + "'";
  FILE* out = ::popen(command.c_str(), "r");
  if (out == nullptr) Die("popen " + command);
  char line[4096] = {};
  const bool got = std::fgets(line, sizeof line, out) != nullptr;
  if (::pclose(out) != 0 || !got) Die("preparing the Wine prefix failed: " + command);
  std::string prefix(line);
  while (!prefix.empty() && (prefix.back() == '\n' || prefix.back() == '\r')) prefix.pop_back();
  return prefix;
}

// One direction of the line: bytes read from one master wait here until the other takes
// them, so a far end that reads nothing stalls only its own direction (and fills the
// sender's output queue, as a real line with a stopped receiver would).
struct Direction {
  int from = -1;
  int to = -1;
  std::string backlog;
  int tap = -1;  // a copy of every byte taken, when set
  static constexpr std::size_t kMaxBacklog = 64 * 1024;

  bool WantsInput() const { return backlog.size() < kMaxBacklog; }
  void TakeInput() {
    char buffer[4096];
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n <= 0) return;
    backlog.append(buffer, static_cast<std::size_t>(n));
    if (tap >= 0 && ::write(tap, buffer, static_cast<std::size_t>(n)) != n) Die("writing the wire file");
  }
  void GiveOutput() {
    const ssize_t n = ::write(to, backlog.data(), backlog.size());
    if (n > 0) backlog.erase(0, static_cast<std::size_t>(n));
  }
};

volatile sig_atomic_t child_ended = 0;
void OnChild(int) { child_ended = 1; }

// Starts the far end's server on the peer pty and waits for its ready line.
pid_t StartServer(const std::string& command, const Pty& peer) {
  std::vector<std::string> words;
  std::istringstream in(command);
  for (std::string word; in >> word;) words.push_back(word);
  if (words.empty()) return -1;
  words.push_back("--device");
  words.push_back(::ptsname(peer.master));
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) Die("pipe");
  const pid_t server = ::fork();
  if (server < 0) Die("fork");
  if (server == 0) {
    ::dup2(ready[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    Die("exec " + words[0]);
  }
  ::close(ready[1]);
  pollfd fd{ready[0], POLLIN, 0};
  char c = 0;
  // Ready when its first line has been printed; a server that dies first fails the run.
  while (::poll(&fd, 1, 30000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n') {
  }
  ::close(ready[0]);
  if (c != '\n') {
    errno = 0;
    Die("the far end's server did not get ready: " + command);
  }
  return server;
}

// Linux path as the Windows program sees it: through Wine's drive Z:.
std::string WindowsPath(std::string path) {
  for (char& c : path) if (c == '/') c = '\\';
  return "Z:" + path;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wine_com_peer <wine runner> <program.exe> [arguments...]\n");
    return 2;
  }
  const std::string dosdevices = PreparePrefix(argv[1], argv[2]) + "/dosdevices";

  Pty port = OpenPty(), peer = OpenPty(), control = OpenPty();
  for (Pty* p : {&port, &peer, &control}) LinkAsComPort(*p, dosdevices);
  ::setenv("RTUTEST_COM_PORT", port.name.c_str(), 1);
  ::setenv("RTUTEST_COM_PEER", peer.name.c_str(), 1);
  ::setenv("RTUTEST_COM_CONTROL", control.name.c_str(), 1);

  char wire_path[] = "/tmp/rtutest-wire-XXXXXX";
  const int wire = ::mkstemp(wire_path);
  if (wire < 0) Die("mkstemp");
  ::setenv("RTUTEST_COM_WIRE", WindowsPath(wire_path).c_str(), 1);
  const char* serve = std::getenv("RTUTEST_COM_SERVE");
  const pid_t server = serve != nullptr ? StartServer(serve, peer) : -1;

  struct sigaction action{};
  action.sa_handler = OnChild;
  ::sigaction(SIGCHLD, &action, nullptr);
  const pid_t child = ::fork();
  if (child < 0) Die("fork");
  if (child == 0) {
    ::execvp(argv[1], argv + 1);
    Die(std::string("exec ") + argv[1]);
  }

  for (Pty* p : {&port, &peer, &control}) ::fcntl(p->master, F_SETFL, O_NONBLOCK);
  Direction to_peer{port.master, peer.master, {}, wire}, to_port{peer.master, port.master, {}};
  bool port_up = true;
  while (!child_ended) {
    // Fixed slots: 0 control, then (input, output) of each direction while the port is up.
    std::vector<pollfd> fds{{control.master, POLLIN, 0}};
    if (port_up) {
      for (Direction* d : {&to_peer, &to_port}) {
        fds.push_back({d->from, static_cast<short>(d->WantsInput() ? POLLIN : 0), 0});
        fds.push_back({d->to, static_cast<short>(d->backlog.empty() ? 0 : POLLOUT), 0});
      }
    }
    if (::poll(fds.data(), fds.size(), 200) < 0) {
      if (errno == EINTR) continue;
      Die("poll");
    }
    if (fds[0].revents & POLLIN) {
      char request[64];
      if (::read(control.master, request, sizeof request) > 0 && port_up) {
        ::close(port.master);  // the line hangs up: the port's side fails from now on
        port_up = false;
        continue;
      }
    }
    if (!port_up) continue;
    std::size_t slot = 1;
    for (Direction* d : {&to_peer, &to_port}) {
      if (fds[slot].revents & POLLIN) d->TakeInput();
      if (fds[slot + 1].revents & POLLOUT) d->GiveOutput();
      slot += 2;
    }
  }

  int status = 0;
  ::waitpid(child, &status, 0);
  if (server > 0) {
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
  }
  ::close(wire);
  ::unlink(wire_path);
  for (Pty* p : {&port, &peer, &control}) ::unlink(p->link.c_str());
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
