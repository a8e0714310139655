// The window's construction, the port settings it owns, and the open and confirm buttons.
#include "app/rtutest.h"

#include <iostream>
#include <optional>
#include <stdexcept>
#include <thread>

#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "app/channel_list.h"
#include "app/logic/port_choice.h"
#include "app/logic/port_name.h"
#include "app/logic/serial_ports.h"
#include "app/logic/slave_address.h"
#include "app/logic/window_texts.h"
#include "app/open_failure_facts.h"
#include "app/port_suggestions.h"

namespace rtutest {

std::int32_t SlaveAddress = 1;
std::int32_t LinkMode = 0;

namespace {

// Restores the count of running handlers however the handler ends.
class HandlerScope {
 public:
  explicit HandlerScope(int& depth) : depth_(depth) { ++depth_; }
  ~HandlerScope() { --depth_; }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;

 private:
  int& depth_;
};

// The data format text is empty: the open button refuses it before the device is asked.
struct EmptyDataFormat : std::invalid_argument {
  EmptyDataFormat() : std::invalid_argument("empty data format") {}
};

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }
std::string Text(const QComboBox* box) { return box->currentText().toStdString(); }

}  // namespace

TfrmRTUTest::TfrmRTUTest(std::shared_ptr<serial::platform::Platform> platform, QWidget* parent)
    : QWidget(parent),
      ui_(BuildForm(*this)),
      xmodem1_(std::make_unique<serial::TXComm>(std::move(platform))),
      hand_over_(std::make_unique<QtHandOver>(xmodem1_->HandOver())),
      log_locale_(LogLocale::From(QLocale::system())),
      failure_box_(*this),
      pause_([](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); }),
      clock_([] { return QDateTime::currentDateTime(); }) {
  decoder_.SetDecimalSeparator(log_locale_.decimal_separator);
  ui_.Memo1->setMaximumBlockCount(kLogLineLimit);
  SetUpPort();
  FormCreate();
  ConnectHandlers();
  ui_.Timer1->start();
}

// The port goes while the window is still whole: closing it may still deliver a pending
// notification to the window's handler. The hand-over's wake-up goes before the queue it
// belongs to.
TfrmRTUTest::~TfrmRTUTest() {
  hand_over_.reset();
  xmodem1_.reset();
}

void TfrmRTUTest::FormCreate() {
  SlaveAddress = 1;
  ui_.ListView1->setFont(font());
  AddChannelRows(*ui_.ListView1);
}

void TfrmRTUTest::SetUpPort() {
  serial::TXComm& port = *xmodem1_;
  port.SetDeviceName("COM1");
  port.SetBaudRate(serial::br9600);
  port.SetBaudValue(9600);
  port.DataControl().SetDataBits(serial::db8);
  port.DataControl().SetParity(serial::paNone);
  port.DataControl().SetStopBits(serial::sb1);
  port.SetFlowControl(serial::fcNone);
  port.SetRTSSettings({});
  port.SetDTRSettings({});
  port.SetXOnXOffSettings({});
  port.SetOptions({});
  port.SetMonitorEvents({serial::deChar, serial::deFlag, serial::deOutEmpty});
  port.SetSynchronize(true);
  port.SetOnData([this](serial::TCustomComm& sender, std::uint32_t received) {
    XMODEM1Data(sender, received);
  });
  SetUpPortQueues();
}

void TfrmRTUTest::SetUpPortQueues() {
  serial::TXComm& port = *xmodem1_;
  port.Buffers().SetInputSize(2048);
  port.Buffers().SetOutputSize(2048);
  port.Buffers().SetInputTimeout(5000);
  port.Buffers().SetOutputTimeout(5000);
  port.EventChars().SetXonChar(17);
  port.EventChars().SetXoffChar(19);
  port.EventChars().SetEofChar(0);
  port.EventChars().SetErrorChar(0);
  port.EventChars().SetEventChar(10);
  port.Timeouts().SetReadInterval(100);
  port.Timeouts().SetReadMultiplier(10);
  port.Timeouts().SetReadConstant(200);
  port.Timeouts().SetWriteMultiplier(10);
  port.Timeouts().SetWriteConstant(200);
}

void TfrmRTUTest::ConnectClick(QAbstractButton* button, void (TfrmRTUTest::*handler)()) {
  connect(button, &QAbstractButton::clicked, this,
          [this, handler] { RunHandler([this, handler] { (this->*handler)(); }); });
}

void TfrmRTUTest::ConnectHandlers() {
  ConnectClick(ui_.Button1, &TfrmRTUTest::Button1Click);
  ConnectClick(ui_.Button2, &TfrmRTUTest::Button2Click);
  ConnectClick(ui_.BitBtn1, &TfrmRTUTest::BitBtn1Click);
  void (TfrmRTUTest::*const relays[8])() = {
      &TfrmRTUTest::Button3Click, &TfrmRTUTest::Button4Click, &TfrmRTUTest::Button5Click,
      &TfrmRTUTest::Button6Click, &TfrmRTUTest::Button7Click, &TfrmRTUTest::Button8Click,
      &TfrmRTUTest::Button9Click, &TfrmRTUTest::Button10Click};
  for (int i = 0; i < 8; ++i) ConnectClick(ui_.RelayButtons[i], relays[i]);
  connect(ui_.Timer1, &QTimer::timeout, this, [this] { RunHandler([this] { Timer1Timer(); }); });
  // Completion offers the serial devices present when the user starts typing a name.
  AttachPortSuggestions(ui_.Edit1);
  ui_.Edit1->installEventFilter(this);
}

bool TfrmRTUTest::eventFilter(QObject* watched, QEvent* event) {
  // Focus that comes back from the suggestions' own drop-down keeps them: refilling then
  // would change the list under the entry being chosen.
  if (watched == ui_.Edit1 && event->type() == QEvent::FocusIn &&
      static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
    FillPortSuggestions(ui_.Edit1->completer(), SerialPorts());
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmRTUTest::RunHandler(const std::function<void()>& handler) {
  {
    HandlerScope scope(handler_depth_);
    try {
      handler();
    } catch (const std::exception& failure) {
      failure_box_.Show(QString::fromUtf8(failure.what()));
    } catch (...) {
      failure_box_.Show(QStringLiteral("Unknown failure"));
    }
  }
  if (handler_depth_ == 0 && close_requested_) {
    close_requested_ = false;
    close();
  }
}

void TfrmRTUTest::closeEvent(QCloseEvent* event) {
  // A close that arrives while a handler lets events run (the pause after the mode frame,
  // an open failure box) waits until that handler has returned: the window and its port
  // must outlive the handler that uses them.
  if (handler_depth_ > 0) {
    close_requested_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void TfrmRTUTest::PrefillPortName(const QString& name) { ui_.Edit1->setText(name); }

void TfrmRTUTest::SetLogLocale(const QLocale& locale) {
  log_locale_ = LogLocale::From(locale);
  decoder_.SetDecimalSeparator(log_locale_.decimal_separator);
}

QString TfrmRTUTest::StatusPanelText(int panel) const { return ui_.StatusPanels[panel]->text(); }

// ---- the open button ------------------------------------------------------------------

void TfrmRTUTest::Button1Click() {
  LinkMode = -1;
  if (xmodem1_->IsOpen()) xmodem1_->Close();  // a failure here leaves the handler
  decoder_.Reset();  // what was pending belongs to the earlier connection
  const QString device = ui_.Edit1->text();
  QLabel* const panel = ui_.StatusPanels[1];
  const std::optional<OpenFailure> failure = OpenPort();
  if (!failure) {
    panel->setText(
        OpenSuccessText(device, ui_.ComboBox1->currentText(), ui_.ComboBox6->currentText()));
    panel->setToolTip(QString());
    return;
  }
  panel->setText(OpenFailureText(device));
  const QString reason = OpenFailureReason(*failure);
  panel->setToolTip(reason);
  std::cerr << (OpenFailureText(device) + QStringLiteral("：") + reason).toStdString() << std::endl;
}

std::optional<OpenFailure> TfrmRTUTest::OpenPort() {
  OpenStep step = OpenStep::Open;
  serial::TSystemError error;
  try {
    ConfigurePort();
    xmodem1_->Open();  // its result is not used: IsOpen tells
    if (xmodem1_->IsOpen()) return std::nullopt;
    error = xmodem1_->LastSystemError();
  } catch (const EmptyDataFormat&) {
    step = OpenStep::EmptyFormat;  // refused before the device was asked
  } catch (const serial::EDeviceError& raised) {
    step = StepOf(raised);
    error = xmodem1_->LastSystemError();
  } catch (...) {
    // Nothing more is known; the reason says the system gave no code.
  }
  // A port whose configuration failed is closed again, so the status never reports a
  // failed opening while the port stays open, held exclusively and polled.
  ClosePortAfterFailure();
  return GatherOpenFailure(step, error, QString::fromStdString(PortName()), ui_.ComboBox1->currentText(),
                           ui_.ComboBox6->currentText());
}

void TfrmRTUTest::ClosePortAfterFailure() noexcept {
  try {
    if (xmodem1_->IsOpen()) xmodem1_->Close();
  } catch (...) {
    // Swallowed with the failure that led here; the status shows the opening failed.
  }
}

std::string TfrmRTUTest::PortName() const {
  // Blanks, a device prefix, a colon and full-width forms go; the status quotes the text.
  return PortNameFor(ui_.Edit1->text().toStdU32String());
}

void TfrmRTUTest::ConfigurePort() {
  serial::TXComm& port = *xmodem1_;
  port.SetDeviceName(PortName());
  port.SetBaudRate(serial::br9600);
  const BaudChoice baud = BaudChoiceFor(Text(ui_.ComboBox1));
  if (baud.custom_value) {
    port.SetBaudRate(serial::brCustom);  // BaudValue counts only while the rate is custom
    port.SetBaudValue(*baud.custom_value);
  } else {
    port.SetBaudRate(baud.rate);
  }
  const auto format = DataFormatChoiceFor(ui_.ComboBox6->currentText().toStdU32String());
  if (!format) throw EmptyDataFormat();
  if (format->data_bits) port.DataControl().SetDataBits(*format->data_bits);
  if (format->parity) port.DataControl().SetParity(*format->parity);
  if (format->stop_bits) port.DataControl().SetStopBits(*format->stop_bits);
}

// ---- the confirm button ---------------------------------------------------------------

void TfrmRTUTest::Button2Click() {
  // A refused text changes nothing and shows nothing; the edit keeps it.
  if (const auto address = SlaveAddressFromText(Text(ui_.edmodaddr))) SlaveAddress = *address;
}

}  // namespace rtutest
