// Polling, the traffic log, the channel list, and the read and relay commands.
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include "app/channel_list.h"
#include "app/logic/log_lines.h"
#include "app/rtutest.h"
#include "modbus/requests.h"

namespace rtutest {

// ---- polling and the log --------------------------------------------------------------

void TfrmRTUTest::Timer1Timer() {
  if (!xmodem1_->IsOpen()) return;
  modbus::ByteString block;
  xmodem1_->ReadString(block);  // exactly what is waiting; may be empty
  Apply(decoder_.Tick(block, Stamp()));
}

void TfrmRTUTest::SendFrame(modbus::ByteView frame) {
  Apply(decoder_.Settle());
  const bool sent = xmodem1_->SendString(frame);  // a failure raised here logs nothing
  AppendLog(SentLine(Stamp(), frame));            // stamped after the write returned
  if (!sent) AppendLog(SendFailureLine());
}

void TfrmRTUTest::XMODEM1Data(serial::TCustomComm&, std::uint32_t) {
  // Received data reaches the window through the polling timer only.
}

void TfrmRTUTest::Apply(const DisplaySteps& steps) {
  for (const DisplayStep& step : steps) {
    if (const auto* line = std::get_if<LogLine>(&step)) {
      AppendLog(line->text);
    } else {
      const auto& cell = std::get<CellUpdate>(step);
      ui_.ListView1->topLevelItem(cell.row)->setText(kDataColumn, cell.text);
    }
  }
}

void TfrmRTUTest::AppendLog(const QString& line) { ui_.Memo1->appendPlainText(line); }

QString TfrmRTUTest::Stamp() const { return FormatTimeStamp(clock_(), log_locale_.time_stamp); }

// ---- commands -------------------------------------------------------------------------

void TfrmRTUTest::SelectRtuMode() {
  if (LinkMode == 0) return;
  LinkMode = 0;  // before the write, so a failing write is not repeated by the next command
  SendFrame(modbus::RtuModeFrameBytes());
  pause_(kModePause);  // the module needs the time; the window does not respond meanwhile
  // A due tick logs the module's answer; clicks made during the pause run here, before
  // this command sends its own request.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TfrmRTUTest::BitBtn1Click() {
  SelectRtuMode();
  SendFrame(modbus::ReadAllRequest(SlaveAddress));  // the address as it is after the mode step
}

void TfrmRTUTest::RelayCommand(int relay, bool on) {
  SelectRtuMode();
  SendFrame(modbus::RelayRequest(SlaveAddress, relay, on));
}

void TfrmRTUTest::Button3Click() { RelayCommand(1, true); }
void TfrmRTUTest::Button4Click() { RelayCommand(1, false); }
void TfrmRTUTest::Button5Click() { RelayCommand(2, true); }
void TfrmRTUTest::Button6Click() { RelayCommand(2, false); }
void TfrmRTUTest::Button7Click() { RelayCommand(3, true); }
void TfrmRTUTest::Button8Click() { RelayCommand(3, false); }
void TfrmRTUTest::Button9Click() { RelayCommand(4, true); }
void TfrmRTUTest::Button10Click() { RelayCommand(4, false); }

}  // namespace rtutest
