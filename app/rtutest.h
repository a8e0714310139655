#pragma once
// The test window: port and Modbus settings, the 200 ms polling, the traffic log, the
// channel list and the read and relay commands.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QDateTime>
#include <QLocale>
#include <QWidget>

#include "app/failure_box.h"
#include "app/form_layout.h"
#include "app/logic/log_locale.h"
#include "app/logic/open_failure.h"
#include "app/logic/receive_decoder.h"
#include "app/qt_handover.h"
#include "modbus/byte_string.h"
#include "serial/custom_comm.h"

class QCloseEvent;

namespace rtutest {

// The slave address every request carries (its low 8 bits); 1 when the window is created,
// changed only by confirming an address.
extern std::int32_t SlaveAddress;
// 0 once the RTU mode frame has gone out since the port was last opened (and at program
// start); -1 after every press of the open button.
extern std::int32_t LinkMode;

class TfrmRTUTest : public QWidget {
  Q_OBJECT

 public:
  using Pause = std::function<void(std::chrono::milliseconds)>;
  using Clock = std::function<QDateTime()>;

  explicit TfrmRTUTest(
      std::shared_ptr<serial::platform::Platform> platform = serial::platform::DefaultPlatform(),
      QWidget* parent = nullptr);
  ~TfrmRTUTest() override;

  // ---- handlers (each runs on the window's thread) -------------------------------------
  void Button1Click();  // open the port with the chosen settings
  void Button2Click();  // confirm the slave address
  void Timer1Timer();   // drain the port, log, decode
  void BitBtn1Click();  // read all channels
  void Button3Click();  // relay 1 on
  void Button4Click();  // relay 1 off
  void Button5Click();
  void Button6Click();
  void Button7Click();
  void Button8Click();
  void Button9Click();
  void Button10Click();  // relay 4 off
  void XMODEM1Data(serial::TCustomComm& sender, std::uint32_t received);

  // Writes a frame and logs it; the only way the window sends anything.
  void SendFrame(modbus::ByteView frame);
  // Sends the RTU mode frame once after each opening, then pauses and lets events run.
  void SelectRtuMode();

  // Runs a handler as the event loop does: a failure that escapes it is shown in the
  // failure box. A close of the window requested meanwhile takes effect afterwards.
  void RunHandler(const std::function<void()>& handler);

  // ---- start-up and test seams ---------------------------------------------------------
  void PrefillPortName(const QString& name);
  void SetPause(Pause pause) { pause_ = std::move(pause); }
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  void SetLogLocale(const QLocale& locale);
  FailureBox& Failures() { return failure_box_; }
  serial::TXComm& XMODEM1() { return *xmodem1_; }
  const FormControls& Controls() const { return ui_; }
  QString StatusPanelText(int panel) const;

  static constexpr int kLogLineLimit = 1'000'000;
  static constexpr std::chrono::milliseconds kModePause{500};

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void SetUpPort();
  void SetUpPortQueues();  // queue sizes, special characters, time-outs
  void ConnectHandlers();
  void ConnectClick(QAbstractButton* button, void (TfrmRTUTest::*handler)());
  void ConfigurePort();
  // The name the port is opened by, from the typed name.
  std::string PortName() const;
  // Configures and opens the port; what is known about the failure when it did not open.
  std::optional<OpenFailure> OpenPort();
  void ClosePortAfterFailure() noexcept;
  void RelayCommand(int relay, bool on);
  void Apply(const DisplaySteps& steps);
  void AppendLog(const QString& line);
  QString Stamp() const;

  FormControls ui_;
  std::unique_ptr<serial::TXComm> xmodem1_;
  // Runs the event thread's notifications on the window's thread; must go before the port.
  std::unique_ptr<QtHandOver> hand_over_;
  ReceiveDecoder decoder_;
  LogLocale log_locale_;
  FailureBox failure_box_;
  Pause pause_;
  Clock clock_;
  int handler_depth_ = 0;
  bool close_requested_ = false;
};

}  // namespace rtutest
