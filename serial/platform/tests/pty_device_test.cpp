// The POSIX backend on real terminal devices: pseudo-terminals, with the test as the peer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <numeric>
#include <thread>

#include "serial/platform/serial_device.h"
#include "serial/platform/testing/pty_pair.h"
#include "serial/platform/tests/device_on_line_cases.h"
#include "tests/support/cpu_time.h"
#include "tests/support/thread_asleep.h"
#include "tests/support/wait_for.h"

namespace serial::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::PtyPair;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

std::string NameOf(const std::string& path) { return "\\\\.\\" + path; }

OpenResult Open(const std::string& path) { return DefaultPlatform()->CreateFile(NameOf(path)); }

std::unique_ptr<SerialDevice> Open(const PtyPair& pty) {
  auto [device, error] = Open(pty.SlavePath());
  EXPECT_NE(device, nullptr) << std::strerror(error.code);
  return std::move(device);
}

// The kernel passes bytes from master to slave on a worker of its own: wait for them.
bool InQueueReaches(SerialDevice& device, std::uint32_t n) {
  WaitInQueue(device, n);
  return InQueue(device) == n;
}

Bytes Pattern(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 % 251);
  return bytes;
}

double ThreadCpuSeconds() { return test_support::ThreadCpuTime().count(); }

// Descriptors of this process open on path (a pty's node goes with its master).
int HandlesOn(const std::string& path) {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (target == path || target == path + " (deleted)") ++n;
  }
  return n;
}

termios TermiosOf(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  EXPECT_EQ(::tcgetattr(fd, &t), 0);
  ::close(fd);
  return t;
}

// A pending wait that measures what it spends of its thread's processor time.
struct PtyWait : PendingWait {
  explicit PtyWait(SerialDevice& device)
      : PendingWait(*DefaultPlatform(), device, ThreadCpuSeconds) {}
};

// The pty as a line of the shared cases: the test writes to and closes the master side.
struct PtyLine {
  std::shared_ptr<Platform> platform = DefaultPlatform();
  PtyPair pty;
  std::unique_ptr<SerialDevice> device = Open(pty);
  OpenResult OpenAgain() { return Open(pty.SlavePath()); }
  void PeerWrite(const Bytes& bytes) { ASSERT_TRUE(pty.Write(bytes)); }
  bool WaitQueued(std::uint32_t n) { return InQueueReaches(*device, n); }
  void HangUp() { pty.CloseMaster(); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Pty, DeviceOnLine, PtyLine);
INSTANTIATE_TYPED_TEST_SUITE_P(Pty, DeviceOnLineHangUp, PtyLine);

// The pty's own cases, each on a newly opened pseudo-terminal.
class PtyDevice : public ::testing::Test, protected PtyLine {
 protected:
  void SetUp() override { ASSERT_NE(device, nullptr); }
};

TEST(PtyOpening, RefusesWhatIsNotATerminalWithoutBlockingOrWriting) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("platform_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "file";
  std::ofstream(file) << "content";
  const auto fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    int error;
  };
  const Case cases[] = {
      {file, ENOTTY},  {dir, EISDIR},         {fifo, ENOTTY},
      {"/dev/null", ENOTTY}, {(dir / "absent").string(), ENOENT},
  };
  for (const Case& c : cases) {
    auto opening = std::async(std::launch::async, [&] {
      const OpenResult opened = Open(c.path);
      return std::make_pair(opened.device == nullptr, opened.error.code);
    });
    ASSERT_EQ(opening.wait_for(test_support::kDeadline), std::future_status::ready) << c.path;
    const auto [refused, error] = opening.get();
    EXPECT_TRUE(refused) << c.path;
    EXPECT_EQ(error, c.error) << c.path;
  }
  EXPECT_EQ(std::filesystem::file_size(file), 7u);
  std::filesystem::remove_all(dir);
}

// A terminal left cooked by another program, with XON/XOFF, parity check and CR
// translation: none of it may touch the data before the first block is set, and closing
// gives the terminal its settings back.
TEST(PtyOpening, RawFromTheFirstMomentAndAsFoundAfterClose) {
  PtyPair pty;
  termios cooked = TermiosOf(pty.SlavePath());
  cooked.c_iflag |= IXON | IXOFF | IXANY | INPCK | ISTRIP | ICRNL | PARMRK;
  cooked.c_oflag |= OPOST | ONLCR;
  cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
  cooked.c_cflag |= HUPCL | CRTSCTS;
  {
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &cooked), 0);
    ::close(fd);
  }
  cooked = TermiosOf(pty.SlavePath());  // as the kernel keeps it
  auto device = Open(pty);
  ASSERT_NE(device, nullptr);
  const Bytes in = {0x13, 'a', 0x11, 0x0D, 0xFF, 0x83, 0x03, '\n'};
  ASSERT_TRUE(pty.Write(in));
  ASSERT_TRUE(InQueueReaches(*device, in.size()));
  EXPECT_EQ(ReadAll(*device, in.size()), in);
  const IoResult w = device->WriteChunk(in.data(), in.size(), milliseconds(1000));
  EXPECT_EQ(w.bytes, in.size());
  EXPECT_EQ(pty.Read(in.size()), in);

  device.reset();
  const termios after = TermiosOf(pty.SlavePath());
  EXPECT_EQ(after.c_iflag, cooked.c_iflag);
  EXPECT_EQ(after.c_oflag, cooked.c_oflag);
  EXPECT_EQ(after.c_lflag, cooked.c_lflag);
  EXPECT_EQ(after.c_cflag, cooked.c_cflag);
}

// A pty has no line and keeps 8 bits without parity whatever is asked; the simulator runs
// at 7E1 on one, so the format reads back as set.
TEST_F(PtyDevice, FormatReadsBackAsSet) {
  const std::uint8_t formats[][3] = {{7, EVENPARITY, ONESTOPBIT}, {8, MARKPARITY, TWOSTOPBITS},
                                     {5, ODDPARITY, ONE5STOPBITS}, {8, NOPARITY, ONESTOPBIT}};
  for (const auto& f : formats) {
    DCB set;
    ASSERT_TRUE(Change(*device, [&](DCB& d) {
      d.ByteSize = f[0];
      d.Parity = f[1];
      d.StopBits = f[2];
      set = d;
    })) << int(f[0]) << int(f[1]) << int(f[2]);
    DCB back;
    ASSERT_TRUE(device->GetCommState(back).Ok());
    EXPECT_EQ(back, set) << int(f[0]) << int(f[1]) << int(f[2]);
  }
}

// With the parity check on, the terminal marks errors and doubles FF: the marks never reach
// the reader. Null bytes are dropped when asked.
TEST_F(PtyDevice, MarkedInputReachesTheReaderAsReceived) {
  ASSERT_TRUE(Change(*device, [](DCB& d) { d.fParity = 1; }));
  const Bytes in = {0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x41};
  ASSERT_TRUE(pty.Write(in));
  ASSERT_TRUE(InQueueReaches(*device, in.size()));
  EXPECT_EQ(ReadAll(*device, in.size()), in);
  std::uint32_t errors = 0;
  COMSTAT status;
  ASSERT_TRUE(device->ClearCommError(errors, status).Ok());
  EXPECT_EQ(errors, 0u);

  ASSERT_TRUE(Change(*device, [](DCB& d) { d.fNull = 1; }));
  ASSERT_TRUE(pty.Write(in));
  ASSERT_TRUE(InQueueReaches(*device, 4));
  EXPECT_EQ(ReadAll(*device, 4), (Bytes{0xFF, 0xFF, 0xFF, 0x41}));
}

TEST_F(PtyDevice, BytesRoundTripBothWaysWithZeros) {
  Bytes in = {0x00, 0x0D, 0x0A, 0x11, 0x13, 0x00, 0xFF, 0x7F, 0x03, 0x00};
  ASSERT_TRUE(pty.Write(in));
  ASSERT_TRUE(InQueueReaches(*device, in.size()));
  EXPECT_EQ(ReadAll(*device, in.size()), in);
  EXPECT_EQ(InQueue(*device), 0u);

  const Bytes out = Pattern(3000);
  const IoResult w = device->WriteChunk(out.data(), out.size(), milliseconds(1000));
  EXPECT_EQ(w.error.code, 0);
  EXPECT_EQ(w.bytes, out.size());
  EXPECT_EQ(pty.Read(out.size()), out);
}

// Sends n bytes to a device whose buffer holds 128, and lets one event wait fill that
// buffer: the kernel keeps the rest.
void FillBuffer(PtyLine& line, const Bytes& sent) {
  ASSERT_TRUE(line.device->SetupComm(128, 128).Ok());
  ASSERT_TRUE(line.device->SetCommMask(EV_RXCHAR).Ok());
  ASSERT_TRUE(line.pty.Write(sent));
  ASSERT_TRUE(InQueueReaches(*line.device, static_cast<std::uint32_t>(sent.size())));
  PtyWait wait(*line.device);  // moves at most 128 bytes into the device's buffer
  ASSERT_EQ(wait.Get(), WaitOutcome::Events);
}

// The tty layer marks bytes as it receives them: those the kernel held when the parity
// check was turned on came unmarked, and a data byte FF among them is not a mark.
TEST_F(PtyDevice, BytesWaitingWhenTheMarkingChangesKeepTheirValues) {
  Bytes sent = Pattern(128);
  sent.insert(sent.end(), {0xFF, 0x41, 0xFF, 0x00, 0x42});
  ASSERT_NO_FATAL_FAILURE(FillBuffer(*this, sent));
  ASSERT_TRUE(Change(*device, [](DCB& d) { d.fParity = 1; }));
  EXPECT_EQ(ReadAll(*device, static_cast<std::uint32_t>(sent.size())), sent);
  std::uint32_t errors = 0;
  COMSTAT status;
  ASSERT_TRUE(device->ClearCommError(errors, status).Ok());
  EXPECT_EQ(errors, 0u);
  // What comes after the change is marked, and decoded as such.
  ASSERT_TRUE(pty.Write({0xFF, 0x43}));
  ASSERT_TRUE(InQueueReaches(*device, 2));
  EXPECT_EQ(ReadAll(*device, 2), (Bytes{0xFF, 0x43}));
}

// A full buffer leaves the device unread, but its hang-up still ends the wait.
TEST_F(PtyDevice, AHangUpWhileTheBufferIsFullEndsTheWait) {
  ASSERT_NO_FATAL_FAILURE(FillBuffer(*this, Pattern(300)));
  PtyWait wait(*device);
  ASSERT_TRUE(wait.Blocked());
  pty.CloseMaster();
  EXPECT_EQ(wait.Get(), WaitOutcome::Failed);
  EXPECT_LT(wait.cpu_seconds, 0.05) << "the wait spun";
  EXPECT_EQ(ReadAll(*device, 128), Pattern(128)) << "the buffered bytes are kept";
}

TEST_F(PtyDevice, InQueueIsExactAndOrderKeptAcrossBufferAndKernel) {
  const Bytes sent = Pattern(1000);
  ASSERT_NO_FATAL_FAILURE(FillBuffer(*this, sent));
  {
    // The buffer is full and the kernel still holds bytes: no new arrival, no event, and
    // no spinning on a descriptor that stays readable.
    PtyWait wait(*device);
    EXPECT_TRUE(wait.Blocked(milliseconds(300)));
    wait.stop.Set();
    EXPECT_EQ(wait.Get(), WaitOutcome::Stopped);
    EXPECT_LT(wait.cpu_seconds, 0.05);
  }
  EXPECT_EQ(InQueue(*device), 1000u);
  Bytes got = ReadAll(*device, 5);
  EXPECT_EQ(InQueue(*device), 995u);
  const Bytes rest = ReadAll(*device, 995);
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(got, sent);
  EXPECT_EQ(InQueue(*device), 0u);
}

// With the buffer full the device is not watched: the wait must learn of the room the
// owner's read makes, then take what the kernel kept.
TEST_F(PtyDevice, AWaitOnAFullBufferResumesWhenTheOwnerMakesRoom) {
  const Bytes sent = Pattern(300);
  ASSERT_NO_FATAL_FAILURE(FillBuffer(*this, sent));
  PtyWait wait(*device);
  ASSERT_TRUE(wait.Blocked());
  Bytes got = ReadAll(*device, 128);
  ASSERT_EQ(wait.Get(), WaitOutcome::Events);
  EXPECT_EQ(wait.mask, EV_RXCHAR);
  const Bytes rest = ReadAll(*device, 172);
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(got, sent);
}

TEST_F(PtyDevice, ReceiveEventsFireOncePerArrival) {
  DCB dcb;
  ASSERT_TRUE(device->GetCommState(dcb).Ok());
  dcb.EvtChar = '\n';
  ASSERT_TRUE(device->SetCommState(dcb).Ok());
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR | EV_RXFLAG).Ok());

  ASSERT_TRUE(pty.Write({'a', 'b'}));
  {
    PtyWait wait(*device);
    ASSERT_EQ(wait.Get(), WaitOutcome::Events);
    EXPECT_EQ(wait.mask, EV_RXCHAR);
  }
  {
    PtyWait wait(*device);
    EXPECT_TRUE(wait.Blocked()) << "bytes left waiting fired again";
    ASSERT_TRUE(pty.Write({'c', '\n'}));
    ASSERT_EQ(wait.Get(), WaitOutcome::Events);
    EXPECT_EQ(wait.mask, EV_RXCHAR | EV_RXFLAG);
  }
  EXPECT_EQ(ReadAll(*device, 4), (Bytes{'a', 'b', 'c', '\n'}));
}

TEST_F(PtyDevice, BytesTheOwnerReadFirstStillFireTheirEvents) {
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR | EV_RXFLAG).Ok());
  ASSERT_TRUE(pty.Write({'x', 0}));  // 0: the event character of a newly opened device
  ASSERT_TRUE(InQueueReaches(*device, 2));
  EXPECT_EQ(ReadAll(*device, 2), (Bytes{'x', 0}));
  PtyWait wait(*device);
  ASSERT_EQ(wait.Get(), WaitOutcome::Events);
  EXPECT_EQ(wait.mask, EV_RXCHAR | EV_RXFLAG);
}

TEST_F(PtyDevice, AnIdleWaitEndsPromptlyWhenStoppedWithoutSpinning) {
  ASSERT_TRUE(device->SetCommMask(0x1FFB).Ok());
  PtyWait wait(*device);
  EXPECT_TRUE(wait.Blocked(milliseconds(300)));
  wait.stop.Set();
  EXPECT_EQ(wait.Get(), WaitOutcome::Stopped);
  EXPECT_LT(wait.cpu_seconds, 0.05) << "an idle wait must not spin";
}

// The hung-up terminal is let go, and transfer loops that ask again are slowed to their
// time-out, not spun.
TEST_F(PtyDevice, PeerCloseEndsTheWaitWithoutSpinningAndLetsTheTerminalGo) {
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR).Ok());
  PtyWait wait(*device);
  EXPECT_TRUE(wait.Blocked(milliseconds(300)));
  EXPECT_EQ(HandlesOn(pty.SlavePath()), 2);  // ours and the pair's own
  pty.CloseMaster();
  EXPECT_EQ(wait.Get(), WaitOutcome::Failed);
  EXPECT_LT(wait.cpu_seconds, 0.05) << "the wait spun";
  PtyWait again(*device);
  EXPECT_EQ(again.Get(), WaitOutcome::Failed);
  EXPECT_EQ(HandlesOn(pty.SlavePath()), 1) << "the hung-up terminal is still held";

  const double cpu = ThreadCpuSeconds();
  const auto start = Clock::now();
  device->WaitForInput(milliseconds(150));
  device->WaitForOutput(milliseconds(150));
  EXPECT_GE(Clock::now() - start, milliseconds(290));
  EXPECT_LT(ThreadCpuSeconds() - cpu, 0.1);
}

TEST_F(PtyDevice, HeldOutputIsSentOnceAndPartly) {
  const Bytes out = Pattern(1 << 20);  // more than the pty holds while nobody reads
  const IoResult w = device->WriteChunk(out.data(), out.size(), milliseconds(200));
  EXPECT_EQ(w.error.code, 0);
  ASSERT_GT(w.bytes, 0u);
  ASSERT_LT(w.bytes, out.size());
  const Bytes got = pty.Read(out.size(), milliseconds(500));
  EXPECT_EQ(got, Bytes(out.begin(), out.begin() + w.bytes));
}

TEST_F(PtyDevice, OutputReadinessWaitEndsWhenThePeerReads) {
  const Bytes out = Pattern(1 << 20);
  const IoResult w = device->WriteChunk(out.data(), out.size(), milliseconds(50));
  ASSERT_LT(w.bytes, out.size());
  test_support::SleepProbe probe;
  auto waiting = std::async(std::launch::async, [&] {
    probe.Enter();
    device->WaitForOutput(seconds(30));
  });
  ASSERT_TRUE(test_support::WaitFor([&] { return probe.Asleep(); }));
  EXPECT_EQ(waiting.wait_for(milliseconds(100)), std::future_status::timeout);
  EXPECT_EQ(pty.Read(w.bytes).size(), w.bytes);
  EXPECT_EQ(waiting.wait_for(test_support::kDeadline), std::future_status::ready);
}

TEST_F(PtyDevice, CustomRatesAreAcceptedAndReadBack) {
  for (std::uint32_t rate : {14400u, 28800u, 33600u, 56000u, 76800u, 128000u, 230400u,
                             250000u, 256000u, 460800u, 921600u, 9600u}) {
    DCB dcb;
    ASSERT_TRUE(device->GetCommState(dcb).Ok());
    dcb.BaudRate = rate;
    ASSERT_TRUE(device->SetCommState(dcb).Ok()) << rate;
    DCB back;
    ASSERT_TRUE(device->GetCommState(back).Ok());
    EXPECT_EQ(back.BaudRate, rate);
  }
}

TEST_F(PtyDevice, RefusedBlockLeavesTheDeviceAsItWas) {
  DCB before;
  ASSERT_TRUE(device->GetCommState(before).Ok());
  DCB bad = before;
  bad.BaudRate = 76800;
  bad.ByteSize = 4;
  EXPECT_FALSE(device->SetCommState(bad).Ok());
  DCB after;
  ASSERT_TRUE(device->GetCommState(after).Ok());
  EXPECT_EQ(after, before);
}

// Modem-control ioctls fail on a pty; the block is still accepted and what termios cannot
// hold reads back as set.
TEST_F(PtyDevice, FieldsTermiosCannotHoldReadBackAsSet) {
  DCB dcb;
  ASSERT_TRUE(device->GetCommState(dcb).Ok());
  EXPECT_EQ(dcb.DCBlength, kDcbLength);
  dcb.XonLim = 1024;
  dcb.XoffLim = 1024;
  dcb.EofChar = 0x1A;
  dcb.ErrorChar = '?';
  dcb.fErrorChar = 1;
  dcb.fNull = 1;
  dcb.fAbortOnError = 1;
  dcb.fOutxDsrFlow = 1;
  dcb.fDsrSensitivity = 1;
  dcb.fTXContinueOnXoff = 1;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.fRtsControl = RTS_CONTROL_TOGGLE;
  ASSERT_TRUE(device->SetCommState(dcb).Ok());
  DCB back;
  ASSERT_TRUE(device->GetCommState(back).Ok());
  EXPECT_EQ(back, dcb);
}

TEST_F(PtyDevice, QueuesTimeoutsAndPurge) {
  ASSERT_TRUE(device->SetupComm(2048, 1024).Ok());
  COMMPROP properties;
  ASSERT_TRUE(device->GetCommProperties(properties).Ok());
  EXPECT_EQ(properties.dwCurrentRxQueue, 2048u);
  EXPECT_EQ(properties.dwCurrentTxQueue, 1024u);

  const COMMTIMEOUTS timeouts{1, 0, 1, 0, 1};
  ASSERT_TRUE(device->SetCommTimeouts(timeouts).Ok());
  COMMTIMEOUTS back;
  ASSERT_TRUE(device->GetCommTimeouts(back).Ok());
  EXPECT_EQ(back, timeouts);

  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR).Ok());
  ASSERT_TRUE(pty.Write(Pattern(10)));
  {
    PtyWait wait(*device);  // some bytes into the device's buffer
    ASSERT_EQ(wait.Get(), WaitOutcome::Events);
  }
  ASSERT_TRUE(pty.Write(Pattern(10)));
  ASSERT_TRUE(InQueueReaches(*device, 20));
  ASSERT_TRUE(device->PurgeComm(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR).Ok());
  EXPECT_EQ(InQueue(*device), 0u);
  std::uint32_t errors = 0;
  COMSTAT status;
  ASSERT_TRUE(device->ClearCommError(errors, status).Ok());
  EXPECT_EQ(status.cbOutQue, 0u);  // what a pty reports
}

// The event thread and the owner at once, as the component runs them: every byte reaches
// the owner once and in order, and the waits report arrivals while it reads.
TEST_F(PtyDevice, EventThreadAndOwnerShareTheDevice) {
  ASSERT_TRUE(device->SetupComm(256, 256).Ok());
  ASSERT_TRUE(device->SetCommMask(EV_RXCHAR | EV_RXFLAG).Ok());
  const auto stop = DefaultPlatform()->CreateStopEvent();
  std::atomic<int> events{0};
  std::thread event_thread([&] {
    std::uint32_t mask = 0;
    while (device->WaitCommEvent(mask, *stop).outcome == WaitOutcome::Events) ++events;
  });
  const Bytes sent = Pattern(20000);
  std::thread peer([&] { EXPECT_TRUE(pty.Write(sent, seconds(20))); });
  Bytes got;
  const auto deadline = Clock::now() + seconds(20);
  while (got.size() < sent.size() && Clock::now() < deadline) {
    device->WaitForInput(milliseconds(100));
    const Bytes chunk = ReadAll(*device, InQueue(*device));
    got.insert(got.end(), chunk.begin(), chunk.end());
  }
  peer.join();
  // The owner may have read everything before the event thread ran; the arrivals it saw
  // are still reported then.
  test_support::WaitFor([&] { return events.load() > 0; });
  stop->Set();
  event_thread.join();
  EXPECT_EQ(got, sent);
  EXPECT_GT(events.load(), 0);
}

}  // namespace
}  // namespace serial::platform
