// The window as it opens: controls, texts, rows, port settings, geometry, fonts, drawing.
#include <string>

#include <QApplication>
#include <QStandardItemModel>
#include <QCompleter>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QRawFont>
#include <QSplitter>
#include <QStatusBar>
#include <QTextDocument>
#include <QTest>

#include "app/logic/serial_ports.h"
#include "app/tests/window_fixture.h"

namespace rtutest::testing {
namespace {

using StartUp = WindowTest;

template <class W = QWidget>
W* Find(const QWidget& window, const char* name) {
  return window.findChild<W*>(QString::fromLatin1(name));
}

TEST_F(StartUp, ChannelListRowsInCreationOrder) {
  const QStringList captions = {"", "AIN0", "AIN1", "AIN2", "AIN3", "AIN4", "AIN5", "AIN6", "AIN7",
                                "", "DI0", "DI1", "DI2", "DI3", "", "DO1", "DO2", "DO3", "DO4"};
  QTreeWidget* list = Ui().ListView1;
  ASSERT_EQ(list->topLevelItemCount(), 19);
  for (int row = 0; row < 19; ++row) {
    EXPECT_EQ(list->topLevelItem(row)->text(0), captions[row]) << row;
    EXPECT_EQ(list->topLevelItem(row)->text(2), "") << row;
  }
  EXPECT_EQ(Cell(0), QStringLiteral("AIN通道状态"));
  EXPECT_EQ(Cell(9), QStringLiteral("DIN通道状态"));
  EXPECT_EQ(Cell(14), QStringLiteral("DO通道状态"));
  for (int row : {1, 8, 10, 13, 15, 18}) EXPECT_EQ(Cell(row), "") << row;
  EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("IO名称"));
  EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("数据"));
  EXPECT_EQ(list->headerItem()->text(2), QStringLiteral("说明"));
  EXPECT_EQ(list->columnWidth(0), 100);
  EXPECT_EQ(list->columnWidth(1), 180);
  EXPECT_EQ(list->columnWidth(2), 0);
  EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list->font(), window_->font());
}

TEST_F(StartUp, CaptionsTextsAndInitialValues) {
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("QLM7305 RTU串口测试 V1.1"));
  EXPECT_EQ(window_->objectName(), "frmRTUTest");
  EXPECT_EQ(Ui().Edit1->text(), "COM1");
  EXPECT_EQ(Ui().edmodaddr->text(), "1");
  QStringList baud;
  for (int i = 0; i < Ui().ComboBox1->count(); ++i) baud << Ui().ComboBox1->itemText(i);
  EXPECT_EQ(baud, QStringList({"300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                               "28800", "38400", "57600", "115200", "230400", "460800", "921600"}));
  EXPECT_EQ(Ui().ComboBox1->currentIndex(), 5);
  EXPECT_EQ(Ui().ComboBox1->currentText(), "9600");
  QStringList formats;
  for (int i = 0; i < Ui().ComboBox6->count(); ++i) formats << Ui().ComboBox6->itemText(i);
  EXPECT_EQ(formats, QStringList({"8N1", "8E1", "8O1", "7N1", "7E1", "7O1", "8N2", "8E2", "8O2",
                                  "7N2", "7E2", "7O2"}));
  EXPECT_EQ(Ui().ComboBox6->currentText(), "8N1");
  EXPECT_TRUE(Ui().ComboBox1->isEditable());
  EXPECT_EQ(Find<QLabel>(*window_, "Label2")->text(), QStringLiteral("子站地址 "));
  EXPECT_EQ(Find<QLabel>(*window_, "Label1")->text(), QStringLiteral("点击读取获取所有通道状态        "));
  EXPECT_EQ(Ui().Button1->text(), QStringLiteral("打开串口"));
  EXPECT_EQ(Ui().Button2->text(), QStringLiteral("确定"));
  EXPECT_EQ(Ui().BitBtn1->text(), QStringLiteral("读取"));
  EXPECT_FALSE(Ui().BitBtn1->icon().isNull());
  const char* relay_names[] = {"继电器1开", "继电器1关", "继电器2开", "继电器2关",
                               "继电器3开", "继电器3关", "继电器4开", "继电器4关"};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Ui().RelayButtons[i]->text(), QString::fromUtf8(relay_names[i]));
    EXPECT_EQ(Ui().RelayButtons[i]->objectName(), QStringLiteral("Button%1").arg(i + 3));
  }
  EXPECT_EQ(Find<QGroupBox>(*window_, "GroupBox3")->title(), QStringLiteral("串口设置"));
  EXPECT_EQ(Find<QGroupBox>(*window_, "GroupBox4")->title(), QStringLiteral("MODBUS设置"));
  EXPECT_EQ(Find<QGroupBox>(*window_, "GroupBox1")->title(), QStringLiteral("RTU IO状态"));
  EXPECT_EQ(Find<QGroupBox>(*window_, "GroupBox2")->title(), QStringLiteral("RTU DO控制"));
  EXPECT_TRUE(Log().isEmpty());
  EXPECT_EQ(window_->StatusPanelText(0), "");
  EXPECT_EQ(window_->StatusPanelText(1), "");
  EXPECT_EQ(Ui().Memo1->maximumBlockCount(), 1'000'000);
  // An undo history would grow with every appended line whatever the line limit.
  EXPECT_FALSE(Ui().Memo1->document()->isUndoRedoEnabled());
  EXPECT_FALSE(Ui().Memo1->isReadOnly());
  EXPECT_EQ(SlaveAddress, 1);
}

TEST_F(StartUp, EveryControlCarriesItsName) {
  for (const char* name : {"Panel1", "GroupBox3", "Edit1", "Button1", "ComboBox1", "ComboBox6",
                           "GroupBox4", "Label2", "edmodaddr", "Button2", "Panel2", "Panel3",
                           "GroupBox1", "Panel4", "Label1", "BitBtn1", "ListView1", "GroupBox2",
                           "Splitter1", "Memo1", "StatusBar1"}) {
    EXPECT_NE(Find(*window_, name), nullptr) << name;
  }
  EXPECT_NE(window_->findChild<QTimer*>("Timer1"), nullptr);
}

TEST_F(StartUp, TimerAndPortComponent) {
  TfrmRTUTest fresh(platform_);  // timer left running
  EXPECT_TRUE(fresh.Controls().Timer1->isActive());
  EXPECT_EQ(fresh.Controls().Timer1->interval(), 200);
  serial::TXComm& port = window_->XMODEM1();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(state_->CallCount("CreateFile"), 0U);
  EXPECT_EQ(port.DeviceName(), "COM1");
  EXPECT_EQ(port.BaudRate(), serial::br9600);
  EXPECT_EQ(port.BaudValue(), 9600U);
  EXPECT_EQ(port.Buffers().InputSize(), 2048);
  EXPECT_EQ(port.Buffers().OutputSize(), 2048);
  EXPECT_EQ(port.Buffers().InputTimeout(), 5000);
  EXPECT_EQ(port.Buffers().OutputTimeout(), 5000);
  EXPECT_EQ(port.DataControl().DataBits(), serial::db8);
  EXPECT_EQ(port.DataControl().Parity(), serial::paNone);
  EXPECT_EQ(port.DataControl().StopBits(), serial::sb1);
  EXPECT_EQ(port.FlowControl(), serial::fcNone);
  EXPECT_TRUE(port.RTSSettings().empty());
  EXPECT_TRUE(port.DTRSettings().empty());
  EXPECT_TRUE(port.XOnXOffSettings().empty());
  EXPECT_TRUE(port.Options().empty());
  EXPECT_EQ(port.EventChars().XonChar(), 17);
  EXPECT_EQ(port.EventChars().XoffChar(), 19);
  EXPECT_EQ(port.EventChars().EofChar(), 0);
  EXPECT_EQ(port.EventChars().ErrorChar(), 0);
  EXPECT_EQ(port.EventChars().EventChar(), 10);
  EXPECT_EQ(port.MonitorEvents(), (serial::TDeviceEvents{serial::deChar, serial::deFlag, serial::deOutEmpty}));
  EXPECT_TRUE(port.Synchronize());
  EXPECT_EQ(port.Timeouts().ReadInterval(), 100U);
  EXPECT_EQ(port.Timeouts().ReadMultiplier(), 10U);
  EXPECT_EQ(port.Timeouts().ReadConstant(), 200U);
  EXPECT_EQ(port.Timeouts().WriteMultiplier(), 10U);
  EXPECT_EQ(port.Timeouts().WriteConstant(), 200U);
  EXPECT_TRUE(static_cast<bool>(port.OnData()));
}

TEST_F(StartUp, CreatingTheWindowSetsTheAddressButNotTheModeMemory) {
  SlaveAddress = 77;
  LinkMode = -1;
  TfrmRTUTest second(platform_);
  EXPECT_EQ(SlaveAddress, 1);
  EXPECT_EQ(LinkMode, -1);
}

struct Placement {
  const char* name;
  QRect rect;  // within the parent
};

TEST_F(StartUp, GeometryAtNinetySixDpi) {
  window_->show();
  EXPECT_EQ(window_->pos(), QPoint(361, 115));
  EXPECT_EQ(window_->size(), QSize(635, 680));
  const Placement fixed[] = {
      {"Edit1", {9, 25, 62, 24}},      {"Button1", {77, 25, 75, 25}},
      {"edmodaddr", {80, 24, 41, 27}}, {"Button2", {136, 24, 60, 25}},
      {"BitBtn1", {217, 6, 64, 25}},   {"Button3", {56, 56, 75, 25}},
      {"Button4", {176, 56, 75, 25}},  {"Button9", {56, 264, 75, 25}},
      {"Button10", {176, 264, 75, 25}}, {"GroupBox3", {0, 0, 424, 65}},
      {"GroupBox4", {424, 0, 211, 65}}, {"GroupBox1", {0, 0, 297, 480}},
      {"GroupBox2", {297, 0, 338, 480}},
  };
  for (const Placement& p : fixed) EXPECT_EQ(Find(*window_, p.name)->geometry(), p.rect) << p.name;
  EXPECT_EQ(Find(*window_, "ComboBox1")->geometry().topLeft(), QPoint(158, 25));
  EXPECT_EQ(Find(*window_, "ComboBox1")->width(), 78);
  EXPECT_EQ(Find(*window_, "ComboBox6")->geometry().topLeft(), QPoint(254, 25));
  EXPECT_EQ(Find(*window_, "ComboBox6")->width(), 59);
  EXPECT_EQ(Find(*window_, "Label2")->pos(), QPoint(16, 26));
  EXPECT_EQ(Find(*window_, "Label1")->pos(), QPoint(8, 8));
  EXPECT_EQ(Find(*window_, "Panel1")->height(), 65);
  EXPECT_EQ(Find(*window_, "Panel3")->height(), 480);
  EXPECT_EQ(Find(*window_, "Panel4")->height(), 34);
  EXPECT_EQ(Ui().Splitter1->handleWidth(), 1);
  EXPECT_EQ(Ui().Memo1->height(), 115);
  EXPECT_EQ(Ui().StatusBar1->height(), 19);
  EXPECT_EQ(Ui().StatusPanels[0]->width(), 100);
  // The last panel is at least 200 wide and takes the rest of the bar, so that an opening
  // result such as "/dev/serial/by-id/...打开成功,BaudRate=115200,参数=8N1" stays readable.
  EXPECT_GE(Ui().StatusPanels[1]->width(), 200);
  EXPECT_GE(Ui().StatusPanels[0]->width() + Ui().StatusPanels[1]->width(), 600);
}

TEST_F(StartUp, ResizingStretchesTheRightGroupsAndTheLog) {
  window_->show();
  const int list_height = Ui().ListView1->height();
  window_->resize(900, 900);
  QApplication::processEvents();
  EXPECT_EQ(Find(*window_, "GroupBox3")->width(), 424);
  EXPECT_EQ(Find(*window_, "GroupBox4")->width(), 900 - 424);
  EXPECT_EQ(Find(*window_, "GroupBox1")->width(), 297);
  EXPECT_EQ(Find(*window_, "GroupBox2")->width(), 900 - 297);
  EXPECT_EQ(Find(*window_, "Panel3")->height(), 480);
  EXPECT_EQ(Ui().Memo1->height(), 115 + 220);
  EXPECT_EQ(Ui().Memo1->width(), 900);
  // The splitter moves the boundary between the channel panel and the log.
  Ui().Splitter1->setSizes({300, 515});
  QApplication::processEvents();
  EXPECT_EQ(Find(*window_, "Panel3")->height(), 300);
  EXPECT_EQ(Ui().Memo1->height(), 515);
  EXPECT_EQ(Ui().ListView1->height(), list_height - 180);
}

TEST_F(StartUp, ColoursOfTheGroups) {
  struct Colour {
    const char* name;
    QColor colour;
  };
  const Colour colours[] = {{"GroupBox3", {172, 196, 213}},
                            {"GroupBox1", {166, 202, 240}},
                            {"GroupBox2", {166, 202, 240}}};
  for (const Colour& c : colours) {
    QWidget* w = Find(*window_, c.name);
    EXPECT_TRUE(w->autoFillBackground()) << c.name;
    EXPECT_EQ(w->palette().color(QPalette::Window), c.colour) << c.name;
  }
  EXPECT_EQ(Ui().Edit1->palette().color(QPalette::Base), QColor(Qt::white));
  EXPECT_EQ(Ui().ListView1->palette().color(QPalette::Base), QColor(Qt::white));
}

// Every character of text is drawn by the font Qt resolves for it (no empty boxes).
void ExpectShows(const QFont& font, const QString& text) {
  const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::SimplifiedChinese);
  ASSERT_TRUE(raw.isValid()) << font.family().toStdString();
  for (QChar c : text) {
    EXPECT_TRUE(raw.supportsCharacter(c)) << text.toStdString() << " in " << raw.familyName().toStdString();
  }
}

TEST_F(StartUp, FontsNameTheOriginalsAndShowEveryCharacter) {
  EXPECT_EQ(window_->font().families().front(), "Microsoft YaHei");
  EXPECT_EQ(window_->font().pixelSize(), 13);
  const QFont settings = Find(*window_, "GroupBox3")->font();
  EXPECT_EQ(settings.families().front(), "Arial");
  EXPECT_EQ(settings.pixelSize(), 14);
  EXPECT_EQ(Ui().Edit1->font().families().front(), "Arial");
  EXPECT_EQ(Ui().Button1->font().families().front(), "SimSun");
  EXPECT_EQ(Ui().Button1->font().pixelSize(), 14);
  ExpectShows(window_->font(), QStringLiteral("读取继电器开关状态通道说明数据名称确定子站地址点击获取所有控制"));
  ExpectShows(Ui().Button1->font(), QStringLiteral("打开串口"));
  ExpectShows(settings, QStringLiteral("串口设置"));
}

TEST_F(StartUp, TabOrder) {
  window_->show();
  window_->activateWindow();
  QApplication::setActiveWindow(window_.get());
  Ui().Edit1->setFocus();
  QApplication::processEvents();
  QStringList order;
  for (int i = 0; i < 17; ++i) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    // The typing field of a drop-down belongs to it.
    if (focus->objectName().isEmpty() && focus->parentWidget()) focus = focus->parentWidget();
    order << focus->objectName();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(order, QStringList({"Edit1", "ComboBox1", "Button1", "ComboBox6", "edmodaddr",
                                "Button2", "Memo1", "BitBtn1", "ListView1", "Button3", "Button4",
                                "Button5", "Button6", "Button7", "Button8", "Button9", "Button10"}));
}

// The colour of the list at a point of a row, as drawn.
QColor ListPixel(QTreeWidget* list, int row, int column, int dx = 3) {
  const QRect cell = list->visualRect(list->model()->index(row, column));
  const QImage image = list->viewport()->grab().toImage();
  return image.pixelColor(cell.left() + dx, cell.top() + 2);
}

bool HasWhiteText(QTreeWidget* list, int row) {
  const QRect cell = list->visualRect(list->model()->index(row, 1));
  const QImage image = list->viewport()->grab().toImage();
  for (int x = cell.left() + 1; x < cell.right() - 1; ++x) {
    for (int y = cell.top() + 1; y < cell.bottom() - 1; ++y) {
      if (image.pixelColor(x, y) == QColor(Qt::white)) return true;
    }
  }
  return false;
}

TEST_F(StartUp, HeadingRowsAreDecidedWhenDrawn) {
  window_->show();
  QTreeWidget* list = Ui().ListView1;
  const QColor heading(250, 150, 150);
  for (int row : {0, 9, 14}) {
    EXPECT_EQ(ListPixel(list, row, 0), heading) << row;
    EXPECT_EQ(ListPixel(list, row, 1), heading) << row;
    EXPECT_TRUE(HasWhiteText(list, row)) << row;
    EXPECT_TRUE(list->model()->index(row, 1).data(Qt::FontRole).isNull());  // bold only when drawn
  }
  for (int row : {1, 10, 18}) EXPECT_EQ(ListPixel(list, row, 1), QColor(Qt::white)) << row;
  list->topLevelItem(0)->setText(1, QStringLiteral("其他"));  // a heading's text: still a heading
  EXPECT_EQ(ListPixel(list, 0, 1), heading);
  list->topLevelItem(0)->setText(0, QStringLiteral("X"));  // a caption: drawn normally
  EXPECT_EQ(ListPixel(list, 0, 1), QColor(Qt::white));
  list->topLevelItem(5)->setText(0, QString());  // no caption: drawn as a heading
  EXPECT_EQ(ListPixel(list, 5, 1), heading);
}

TEST_F(StartUp, PortNameCompletionOffersPresentDevices) {
  auto* model = qobject_cast<QStandardItemModel*>(Ui().Edit1->completer()->model());
  ASSERT_NE(model, nullptr);
  model->appendRow(new QStandardItem(QStringLiteral("/dev/gone")));  // what an earlier look found
  QFocusEvent focus(QEvent::FocusIn);
  QApplication::sendEvent(Ui().Edit1, &focus);
  QStringList offered;
  for (int row = 0; row < model->rowCount(); ++row) {
    offered << model->index(row, 0).data(Ui().Edit1->completer()->completionRole()).toString();
  }
  EXPECT_FALSE(offered.contains(QStringLiteral("/dev/gone")));
  EXPECT_EQ(offered, SerialDeviceNames());
  Ui().Edit1->setText(QStringLiteral("anything at all"));  // typed text stays as typed
  EXPECT_EQ(Ui().Edit1->text(), QStringLiteral("anything at all"));
  window_->PrefillPortName(QStringLiteral("/dev/ttyUSB0"));
  EXPECT_EQ(Ui().Edit1->text(), QStringLiteral("/dev/ttyUSB0"));
}

}  // namespace
}  // namespace rtutest::testing
