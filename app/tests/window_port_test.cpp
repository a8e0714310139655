// The open and confirm buttons, the failure box, and closing the window mid-command.
#include <QApplication>
#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include "app/port_suggestions.h"
#include "app/tests/window_fixture.h"
#include "modbus/requests.h"

namespace rtutest::testing {
namespace {

using serial::platform::DCB;
using serial::platform::EVENPARITY;
using serial::platform::NOPARITY;
using serial::platform::ODDPARITY;
using serial::platform::ONESTOPBIT;
using serial::platform::TWOSTOPBITS;

using PortOpening = WindowTest;

TEST_F(PortOpening, SuccessShowsTheExactStatusText) {
  LinkMode = 0;
  Open();
  EXPECT_TRUE(window_->XMODEM1().IsOpen());
  EXPECT_EQ(window_->StatusPanelText(1), QStringLiteral("COM1打开成功,BaudRate=9600,参数=8N1"));
  EXPECT_EQ(window_->StatusPanelText(0), "");
  EXPECT_EQ(state_->ArgsOf<std::string>("CreateFile"), std::vector<std::string>{"\\\\.\\COM1"});
  EXPECT_EQ(LinkMode, -1);
  const DCB dcb = state_->Dcb();
  EXPECT_EQ(dcb.BaudRate, 9600U);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}

TEST_F(PortOpening, RefusedDeviceShowsFailureAndStillResetsTheModeMemory) {
  state_->FailCall("CreateFile", 2);
  LinkMode = 0;
  OpenWith(QStringLiteral("COM3"));
  EXPECT_FALSE(window_->XMODEM1().IsOpen());
  EXPECT_EQ(window_->StatusPanelText(1), QStringLiteral("COM3打开失败"));
  EXPECT_EQ(LinkMode, -1);
  EXPECT_TRUE(instruments_.boxes.empty());
}

// What a Windows user may type for COM3: the device is asked for COM3 itself, with the
// prefix once; the status text quotes the name as it was typed.
TEST_F(PortOpening, TypedNamesOpenTheDeviceTheyNameWhileTheStatusQuotesThem) {
  for (const QString& typed : {QStringLiteral(" COM3 "), QStringLiteral("COM3:"),
                               QStringLiteral("\\\\.\\COM3"), QStringLiteral("ＣＯＭ３")}) {
    OpenWith(typed);
    EXPECT_EQ(state_->ArgsOf<std::string>("CreateFile").back(), "\\\\.\\COM3") << typed.toStdString();
    EXPECT_EQ(window_->StatusPanelText(1), typed + QStringLiteral("打开成功,BaudRate=9600,参数=8N1"));
  }
}

TEST_F(PortOpening, RefusedNameOnTheRealPlatform) {
  TfrmRTUTest real;
  Instruments instruments;
  instruments.Attach(real);
  real.Controls().Edit1->setText(QStringLiteral("/dev/rtutest-no-such-port"));
  real.Controls().Button1->click();
  EXPECT_FALSE(real.XMODEM1().IsOpen());
  EXPECT_EQ(real.StatusPanelText(1), QStringLiteral("/dev/rtutest-no-such-port打开失败"));
  EXPECT_TRUE(instruments.boxes.empty());
}

TEST_F(PortOpening, UnlistedRatesOpenAtNineThousandSixHundredQuotingTheText) {
  for (const QString& typed : {QStringLiteral("56000"), QStringLiteral(" 4800")}) {
    OpenWith(QStringLiteral("COM1"), typed);
    EXPECT_EQ(state_->Dcb().BaudRate, 9600U) << typed.toStdString();
    EXPECT_EQ(window_->XMODEM1().BaudRate(), serial::br9600);
    EXPECT_EQ(window_->StatusPanelText(1),
              QStringLiteral("COM1打开成功,BaudRate=") + typed + QStringLiteral(",参数=8N1"));
  }
}

TEST_F(PortOpening, CustomRatesAndBackToATableRate) {
  OpenWith(QStringLiteral("COM1"), QStringLiteral("76800"));
  EXPECT_EQ(state_->Dcb().BaudRate, 76800U);
  EXPECT_EQ(window_->XMODEM1().BaudRate(), serial::brCustom);
  OpenWith(QStringLiteral("COM1"), QStringLiteral("9600"));
  EXPECT_EQ(state_->Dcb().BaudRate, 9600U);
  EXPECT_EQ(window_->XMODEM1().BaudRate(), serial::br9600);
  OpenWith(QStringLiteral("COM1"), QStringLiteral("14400"));
  EXPECT_EQ(window_->XMODEM1().BaudRate(), serial::brCustom);  // not the member br14400
  EXPECT_EQ(window_->XMODEM1().BaudValue(), 14400U);
  EXPECT_EQ(state_->Dcb().BaudRate, 14400U);
}

TEST_F(PortOpening, DataFormatKeepsWhatATextDoesNotSet) {
  OpenWith(QStringLiteral("COM1"), QStringLiteral("9600"), QStringLiteral("7O2"));
  EXPECT_EQ(state_->Dcb().ByteSize, 7);
  EXPECT_EQ(state_->Dcb().Parity, ODDPARITY);
  EXPECT_EQ(state_->Dcb().StopBits, TWOSTOPBITS);
  OpenWith(QStringLiteral("COM1"), QStringLiteral("9600"), QStringLiteral("8e1"));
  EXPECT_EQ(state_->Dcb().ByteSize, 8);
  EXPECT_EQ(state_->Dcb().Parity, ODDPARITY);  // lower-case e keeps the earlier parity
  EXPECT_EQ(state_->Dcb().StopBits, ONESTOPBIT);
  OpenWith(QStringLiteral("COM1"), QStringLiteral("9600"), QStringLiteral("8E2"));
  OpenWith(QStringLiteral("COM1"), QStringLiteral("9600"), QStringLiteral("7"));
  EXPECT_EQ(state_->Dcb().ByteSize, 7);
  EXPECT_EQ(state_->Dcb().Parity, EVENPARITY);
  EXPECT_EQ(state_->Dcb().StopBits, TWOSTOPBITS);
  EXPECT_EQ(window_->XMODEM1().DataControl().Parity(), serial::paEven);
}

// Texts typed key by key, as a user does; Return at the end when `enter` is set.
struct Typed {
  QString baud;
  QString format;
  bool enter;
  std::uint32_t rate;  // what the device runs at afterwards
  int parity;
  int stop_bits;
};

void PrintTo(const Typed& t, std::ostream* os) {
  *os << '"' << t.baud.toStdString() << "\", \"" << t.format.toStdString() << '"' << (t.enter ? ", Return" : "");
}

// Keys go to a focused edit of the active window, as a user's do: completion only runs then.
void Focus(QWidget& window, QLineEdit* edit) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  edit->setFocus();
  ASSERT_TRUE(edit->hasFocus());
}

void TypeInto(QWidget& window, QLineEdit* edit, const QString& text, bool enter) {
  Focus(window, edit);
  edit->clear();
  QTest::keyClicks(edit, text);
  if (enter) QTest::keyClick(edit, Qt::Key_Return);
}

class TypedTextsTest : public WindowTest, public ::testing::WithParamInterface<Typed> {};

// No completion, case folding or item matching may alter a typed text: the opening before
// sets 7O2, so what the typed format leaves unset stays odd parity and two stop bits.
TEST_P(TypedTextsTest, StayAsTypedAndSetOnlyWhatTheySay) {
  const Typed& t = GetParam();
  OpenWith(QStringLiteral("COM1"), QStringLiteral("9600"), QStringLiteral("7O2"));
  TypeInto(*window_, Ui().ComboBox1->lineEdit(), t.baud, t.enter);
  TypeInto(*window_, Ui().ComboBox6->lineEdit(), t.format, t.enter);
  EXPECT_EQ(Ui().ComboBox1->currentText(), t.baud);
  EXPECT_EQ(Ui().ComboBox6->currentText(), t.format);
  window_->Button1Click();
  EXPECT_EQ(window_->StatusPanelText(1),
            QStringLiteral("COM1打开成功,BaudRate=") + t.baud + QStringLiteral(",参数=") + t.format);
  const DCB dcb = state_->Dcb();
  EXPECT_EQ(dcb.BaudRate, t.rate);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, t.parity);
  EXPECT_EQ(dcb.StopBits, t.stop_bits);
}

INSTANTIATE_TEST_SUITE_P(
    KeyByKey, TypedTextsTest,
    ::testing::Values(Typed{"1", "8", false, 9600, ODDPARITY, TWOSTOPBITS},
                      Typed{"9", "8", false, 9600, ODDPARITY, TWOSTOPBITS},
                      Typed{"1", "8", true, 9600, ODDPARITY, TWOSTOPBITS},
                      Typed{"4800", "8e1", true, 4800, ODDPARITY, ONESTOPBIT},
                      Typed{"115200", "8n2", true, 115200, ODDPARITY, TWOSTOPBITS},
                      Typed{"96", "8E", true, 9600, EVENPARITY, TWOSTOPBITS}));

TEST_F(PortOpening, DeviceSuggestionsAreNeverInsertedUnasked) {
  Focus(*window_, Ui().Edit1);  // fills the suggestions from this machine's devices
  FillPortSuggestions(Ui().Edit1->completer(), {{"/dev/ttyUSB0", ""}, {"/dev/ttyS0", ""}});
  Ui().Edit1->clear();
  QTest::keyClicks(Ui().Edit1, QStringLiteral("ttyU"));
  EXPECT_TRUE(Ui().Edit1->completer()->popup()->isVisible());  // offered
  QTest::keyClick(Ui().Edit1, Qt::Key_Return);
  EXPECT_EQ(Ui().Edit1->text(), QStringLiteral("ttyU"));  // not inserted
  window_->Button1Click();
  EXPECT_EQ(state_->ArgsOf<std::string>("CreateFile").back(), "\\\\.\\ttyU");
}

// The window with the drop-down drawn where it shows, for a person to look at.
QImage WindowWithPopup(QWidget& window, QWidget& popup) {
  const QPoint at = popup.mapToGlobal(QPoint()) - window.mapToGlobal(QPoint());
  QImage image(std::max(window.width(), at.x() + popup.width()),
               std::max(window.height(), at.y() + popup.height()), QImage::Format_RGB32);
  image.fill(Qt::gray);
  QPainter painter(&image);
  painter.drawPixmap(0, 0, window.grab());
  painter.drawPixmap(at, popup.grab());
  return image;
}

// Long names with their descriptions are offered whole: the drop-down grows to its longest
// entry while the 62-pixel field keeps its size and place, and choosing with the keys puts
// only the name into the field.
TEST_F(PortOpening, SuggestionsShowWholeNamesWithTheirDescriptions) {
  Focus(*window_, Ui().Edit1);
  const QList<SerialPortInfo> ports = {
      {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
       "FTDI FT232R USB UART A50285BI"},
      {"/dev/ttyUSB0", "Prolific PL2303"},
      {"/dev/ttyS0", ""}};
  FillPortSuggestions(Ui().Edit1->completer(), ports);
  const QRect field = Ui().Edit1->geometry();
  Ui().Edit1->clear();
  QTest::keyClicks(Ui().Edit1, QStringLiteral("/dev/"));
  QAbstractItemView* popup = Ui().Edit1->completer()->popup();
  ASSERT_TRUE(popup->isVisible());
  EXPECT_EQ(Ui().Edit1->geometry(), field);
  EXPECT_EQ(field, QRect(9, 25, 62, 24));
  ASSERT_EQ(popup->model()->rowCount(), 3);
  const QFontMetrics metrics(popup->font());
  for (int row = 0; row < 3; ++row) {
    const QModelIndex index = popup->model()->index(row, 0);
    EXPECT_EQ(index.data().toString(), SuggestionText(ports[row]));
    // Each entry fits the list's inside, so none is shown elided.
    EXPECT_LE(metrics.horizontalAdvance(index.data().toString()), popup->viewport()->width()) << row;
  }
  EXPECT_TRUE(SuggestionText(ports[0]).endsWith(QStringLiteral("  FTDI FT232R USB UART A50285BI")));
  EXPECT_EQ(SuggestionText(ports[2]), QStringLiteral("/dev/ttyS0"));
  const QString shot = QDir::temp().filePath(QStringLiteral("rtutest-port-suggestions.png"));
  EXPECT_TRUE(WindowWithPopup(*window_, *popup).save(shot));
  RecordProperty("screenshot", shot.toStdString());

  popup->setCurrentIndex(popup->model()->index(0, 0));  // the long entry, as the arrow keys reach it
  QTest::keyClick(popup, Qt::Key_Return);
  EXPECT_EQ(Ui().Edit1->text(), ports[0].name);
  EXPECT_FALSE(popup->isVisible());
}

TEST_F(PortOpening, FullWidthCharactersSetNothing) {
  OpenWith(QStringLiteral("COM1"), QStringLiteral("9600"), QStringLiteral("7O2"));
  // U+FF18 is one character, three bytes in UTF-8: the letters after it are the second and
  // third characters. U+1D7D6 (outside the basic plane) is one character too.
  for (const QString& format : {QStringLiteral("\uFF18E1"), QString::fromUcs4(U"\U0001D7D6E1")}) {
    OpenWith(QStringLiteral("COM1"), QStringLiteral("9600"), format);
    EXPECT_EQ(state_->Dcb().ByteSize, 7);
    EXPECT_EQ(state_->Dcb().Parity, EVENPARITY);
    EXPECT_EQ(state_->Dcb().StopBits, ONESTOPBIT);
    OpenWith(QStringLiteral("COM1"), QStringLiteral("9600"), QStringLiteral("7O2"));
  }
}

TEST_F(PortOpening, EmptyDataFormatIsRefused) {
  OpenWith(QStringLiteral("COM1"), QStringLiteral("9600"), QString());
  EXPECT_EQ(window_->StatusPanelText(1), QStringLiteral("COM1打开失败"));
  EXPECT_EQ(state_->CallCount("CreateFile"), 0U);
  EXPECT_FALSE(window_->XMODEM1().IsOpen());
  EXPECT_TRUE(instruments_.boxes.empty());
}

TEST_F(PortOpening, ConfigurationFailureClosesThePort) {
  for (const char* call : {"SetCommState", "SetupComm", "SetCommTimeouts"}) {
    state_->FailCall(call);
    Open();
    EXPECT_EQ(window_->StatusPanelText(1), QStringLiteral("COM1打开失败")) << call;
    EXPECT_FALSE(window_->XMODEM1().IsOpen()) << call;
    EXPECT_FALSE(state_->IsOpen()) << call;  // the device handle itself was released
    EXPECT_TRUE(instruments_.boxes.empty()) << call;
    state_->ClearFailure(call);
  }
  Feed({0x41, 0x42});
  Tick();  // nothing is polled
  EXPECT_TRUE(Log().isEmpty());
}

TEST_F(PortOpening, PressingAgainReopensAndResetsTheModeMemory) {
  Open();
  LinkMode = 0;
  Open();
  EXPECT_EQ(state_->CallCount("CreateFile"), 2U);
  EXPECT_TRUE(window_->XMODEM1().IsOpen());
  EXPECT_EQ(LinkMode, -1);
}

TEST_F(PortOpening, SlaveAddressTexts) {
  struct Case {
    QString text;
    std::int32_t address;  // in force afterwards
  };
  const Case cases[] = {
      {"2", 2}, {" 2", 2}, {"$0A", 10}, {"0x0a", 10}, {"-1", -1}, {"300", 300},
      {"2 ", 300}, {"1.5", 300}, {"abc", 300}, {"", 300}, {"$", 300}, {"0x", 300},
      {"-$10", 300}, {"-", 300}, {"$100000000", 300}, {"$FFFFFFFF", -1},
  };
  for (const Case& c : cases) {
    Ui().edmodaddr->setText(c.text);
    Ui().Button2->click();
    EXPECT_EQ(SlaveAddress, c.address) << '"' << c.text.toStdString() << '"';
    EXPECT_EQ(Ui().edmodaddr->text(), c.text);  // a refused text stays in the edit
  }
  EXPECT_TRUE(instruments_.boxes.empty());
  EXPECT_TRUE(Written().empty());  // confirming sends nothing
}

using FailureBoxes = WindowTest;

TEST_F(FailureBoxes, CommandOnAPortNeverOpened) {
  Ui().BitBtn1->click();
  ASSERT_EQ(instruments_.boxes.size(), 1U);
  EXPECT_EQ(instruments_.boxes[0].title, QStringLiteral("QLM7305 RTU串口测试 V1.1"));
  EXPECT_EQ(instruments_.boxes[0].text, "Device not opened.");
  EXPECT_TRUE(Log().isEmpty());
  EXPECT_TRUE(instruments_.pauses.empty());
}

TEST_F(FailureBoxes, FullStopRule) {
  const std::pair<const char*, QString> cases[] = {
      {"Device locked", "Device locked."},
      {"Unable to read from port. (Win32 error 5: Input/output error)",
       "Unable to read from port. (Win32 error 5: Input/output error)"},
      {"error 7", "error 7."},
  };
  for (const auto& [message, shown] : cases) {
    window_->RunHandler([message = message] { throw std::runtime_error(message); });
    EXPECT_EQ(instruments_.boxes.back().text, shown);
  }
}

TEST_F(FailureBoxes, OnlyOneBoxAtATime) {
  instruments_.on_box = [&] {
    // While the box is shown, the timer keeps failing (an adapter was unplugged).
    for (int i = 0; i < 3; ++i) window_->RunHandler([] { throw std::runtime_error("again"); });
  };
  window_->RunHandler([] { throw std::runtime_error("first"); });
  ASSERT_EQ(instruments_.boxes.size(), 1U);
  EXPECT_EQ(instruments_.boxes[0].text, "first.");
  EXPECT_EQ(window_->Failures().Discarded(), 3);
  EXPECT_FALSE(window_->Failures().IsOpen());
  instruments_.on_box = nullptr;
  window_->RunHandler([] { throw std::runtime_error("later"); });  // a new box once closed
  ASSERT_EQ(instruments_.boxes.size(), 2U);
  EXPECT_EQ(instruments_.boxes[1].text, "later.");
}

TEST_F(FailureBoxes, ReadFailureOnATickAndTheNextTickTriesAgain) {
  OpenReady();
  Feed({0x41});
  state_->FailCall("ReadChunk");
  Tick();
  ASSERT_EQ(instruments_.boxes.size(), 1U);
  EXPECT_TRUE(instruments_.boxes[0].text.startsWith("Unable to read from port. (Win32 error 5"));
  state_->ClearFailure("ReadChunk");
  Feed({0x42});
  Tick();
  EXPECT_EQ(Log().size(), 1);
  EXPECT_TRUE(Log().back().endsWith(QStringLiteral(" 接收：41 42 ")));
}

TEST_F(FailureBoxes, ClosingTheWindowDuringACommandWaitsForIt) {
  window_->show();
  Open();
  bool alive_during_pause = false;
  instruments_.on_pause = [&] {
    window_->close();  // the user closes the window while the command pauses
    QApplication::processEvents();
    alive_during_pause = window_->isVisible() && window_->XMODEM1().IsOpen();
  };
  Ui().BitBtn1->click();
  EXPECT_TRUE(alive_during_pause);
  EXPECT_FALSE(window_->isVisible());  // closed once the command had returned
  EXPECT_EQ(Written(), Join({modbus::RtuModeFrameBytes(), modbus::ReadAllRequest(1)}));
  EXPECT_EQ(Log().size(), 2);
}

TEST_F(FailureBoxes, ClosingTheWindowWithoutACommandClosesAtOnceAndLeavesNothingPending) {
  window_->show();
  window_->close();
  EXPECT_FALSE(window_->isVisible());
  window_->show();  // no close was put off: the end of the next command closes nothing
  Open();
  Ui().BitBtn1->click();
  EXPECT_TRUE(window_->isVisible());
}

}  // namespace
}  // namespace rtutest::testing
