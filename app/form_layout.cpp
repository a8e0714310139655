#include "app/form_layout.h"

#include <QComboBox>
#include <QCompleter>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStringListModel>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/channel_list.h"
#include "app/glyphs.h"
#include "app/logic/port_choice.h"

namespace rtutest {
namespace {

// Where the named fonts are not installed (any system but the one the tool came from),
// these show every Chinese character of the window; the set-up script installs the first.
const QStringList kCjkFallbacks = {QStringLiteral("WenQuanYi Zen Hei"),
                                   QStringLiteral("Noto Sans CJK SC"),
                                   QStringLiteral("Source Han Sans SC")};

QFont NamedFont(const QStringList& families, int pixels) {
  QFont font;
  font.setFamilies(families + kCjkFallbacks);
  font.setPixelSize(pixels);
  return font;
}

QFont SettingsFont() { return NamedFont({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")}, 14); }
QFont OpenButtonFont() { return NamedFont({QStringLiteral("SimSun"), QStringLiteral("宋体")}, 14); }

const QColor kSettingsColour(172, 196, 213);
const QColor kSkyBlue(166, 202, 240);
// The usual inactive-caption gradient colour of the desktop the tool was made on.
const QColor kInactiveCaptionGradient(215, 228, 242);

void Fill(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

void WhiteField(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, Qt::white);
  widget->setPalette(palette);
}

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QFrame* Panel(QWidget* parent, const char* name) {
  auto* panel = Named(new QFrame(parent), name);
  panel->setFrameShape(QFrame::NoFrame);
  return panel;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* button = Named(new QPushButton(caption, parent), name);
  button->setGeometry(geometry);
  return button;
}

// The text typed into a drop-down is read as typed ("8" is not "8N1", "8e1" is not "8E1").
// An editable combo box brings an inline, case-insensitive completer, and on Return or
// focus-out it selects the item that matches its text with the completer's case rule. A
// case-sensitive completer with nothing to offer leaves only exact matches, which change
// no text.
QCompleter* OffersNothing(QComboBox* box) {
  auto* completer = new QCompleter(new QStringListModel(box), box);
  completer->setCaseSensitivity(Qt::CaseSensitive);
  return completer;
}

template <std::size_t N>
QStringList TextsOf(const std::array<const char*, N>& texts) {
  QStringList list;
  for (const char* text : texts) list << QString::fromLatin1(text);
  return list;
}

QComboBox* DropDown(QWidget* parent, const char* name, const QStringList& items, int index,
                    QRect geometry) {
  auto* box = Named(new QComboBox(parent), name);
  box->setEditable(true);                       // any text can be typed
  box->setInsertPolicy(QComboBox::NoInsert);    // typing never changes the list
  box->setCompleter(OffersNothing(box));
  box->addItems(items);
  box->setCurrentIndex(index);
  box->setGeometry(geometry.x(), geometry.y(), geometry.width(), box->sizeHint().height());
  WhiteField(box);
  return box;
}

QGroupBox* PortSettings(QWidget* parent, FormControls& ui) {
  auto* group = Named(new QGroupBox(QStringLiteral("串口设置"), parent), "GroupBox3");
  group->setFixedWidth(424);
  group->setFont(SettingsFont());
  Fill(group, kSettingsColour);
  ui.Edit1 = Named(new QLineEdit(QStringLiteral("COM1"), group), "Edit1");
  ui.Edit1->setGeometry(9, 25, 62, 24);
  WhiteField(ui.Edit1);
  ui.Button1 = Button(group, "Button1", QStringLiteral("打开串口"), {77, 25, 75, 25});
  ui.Button1->setFont(OpenButtonFont());
  ui.ComboBox1 = DropDown(group, "ComboBox1", TextsOf(kOfferedBaudRates), 5, {158, 25, 78, 0});
  ui.ComboBox6 = DropDown(group, "ComboBox6", TextsOf(kOfferedDataFormats), 0, {254, 25, 59, 0});
  return group;
}

QGroupBox* ModbusSettings(QWidget* parent, FormControls& ui) {
  auto* group = Named(new QGroupBox(QStringLiteral("MODBUS设置"), parent), "GroupBox4");
  auto* label = Named(new QLabel(QStringLiteral("子站地址 "), group), "Label2");
  label->move(16, 26);
  ui.edmodaddr = Named(new QLineEdit(QStringLiteral("1"), group), "edmodaddr");
  ui.edmodaddr->setGeometry(80, 24, 41, 27);
  ui.Button2 = Button(group, "Button2", QStringLiteral("确定"), {136, 24, 60, 25});
  return group;
}

QWidget* TopPanel(QWidget* parent, FormControls& ui) {
  QFrame* panel = Panel(parent, "Panel1");
  panel->setFixedHeight(65);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(PortSettings(panel, ui));
  row->addWidget(ModbusSettings(panel, ui), 1);
  return panel;
}

QWidget* ReadBar(QWidget* parent, FormControls& ui) {
  auto* panel = Named(new QFrame(parent), "Panel4");
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setFixedHeight(34);
  Fill(panel, kInactiveCaptionGradient);
  Named(new QLabel(QStringLiteral("点击读取获取所有通道状态        "), panel), "Label1")->move(8, 8);
  ui.BitBtn1 = Button(panel, "BitBtn1", QStringLiteral("读取"), {217, 6, 64, 25});
  ui.BitBtn1->setIcon(ReadGlyph());
  ui.BitBtn1->setIconSize({16, 16});
  return panel;
}

QGroupBox* ChannelGroup(QWidget* parent, FormControls& ui) {
  auto* group = Named(new QGroupBox(QStringLiteral("RTU IO状态"), parent), "GroupBox1");
  group->setFixedWidth(297);
  Fill(group, kSkyBlue);
  auto* column = new QVBoxLayout(group);
  column->setContentsMargins(2, column->contentsMargins().top(), 2, 2);
  column->setSpacing(0);
  column->addWidget(ReadBar(group, ui));
  ui.ListView1 = CreateChannelList(group);
  column->addWidget(ui.ListView1, 1);
  return group;
}

QGroupBox* RelayGroup(QWidget* parent, FormControls& ui) {
  auto* group = Named(new QGroupBox(QStringLiteral("RTU DO控制"), parent), "GroupBox2");
  Fill(group, kSkyBlue);
  static const char* const kNames[8] = {"Button3", "Button4", "Button5", "Button6",
                                        "Button7", "Button8", "Button9", "Button10"};
  static const int kRows[4] = {56, 125, 194, 264};
  for (int i = 0; i < 8; ++i) {
    const int relay = i / 2 + 1;
    const QString caption = QStringLiteral("继电器%1").arg(relay) +
                            (i % 2 == 0 ? QStringLiteral("开") : QStringLiteral("关"));
    ui.RelayButtons[i] = Button(group, kNames[i], caption, {i % 2 == 0 ? 56 : 176, kRows[i / 2], 75, 25});
  }
  return group;
}

QWidget* ChannelPanel(QWidget* parent, FormControls& ui) {
  QFrame* panel = Panel(parent, "Panel3");
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(ChannelGroup(panel, ui));
  row->addWidget(RelayGroup(panel, ui), 1);
  return panel;
}

QWidget* MainPanel(QWidget* parent, FormControls& ui) {
  QFrame* panel = Panel(parent, "Panel2");
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 0);
  ui.Splitter1 = Named(new QSplitter(Qt::Vertical, panel), "Splitter1");
  ui.Splitter1->setHandleWidth(1);
  ui.Splitter1->setChildrenCollapsible(false);
  ui.Splitter1->addWidget(ChannelPanel(ui.Splitter1, ui));
  ui.Memo1 = Named(new QPlainTextEdit(ui.Splitter1), "Memo1");
  ui.Memo1->setTabChangesFocus(true);  // Tab moves on to the next control
  ui.Splitter1->addWidget(ui.Memo1);
  ui.Splitter1->setStretchFactor(0, 0);  // growing the window grows the log, not the list
  ui.Splitter1->setStretchFactor(1, 1);
  ui.Splitter1->setSizes({480, 115});
  column->addWidget(ui.Splitter1);
  return panel;
}

QStatusBar* StatusBar(QWidget* parent, FormControls& ui) {
  auto* bar = ui.StatusBar1 = Named(new QStatusBar(parent), "StatusBar1");
  bar->setFixedHeight(19);
  const int widths[2] = {100, 200};
  for (int i = 0; i < 2; ++i) {
    ui.StatusPanels[i] = new QLabel(bar);
    ui.StatusPanels[i]->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
    ui.StatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The last panel takes the rest of the bar, so the whole opening result stays readable
    // (a device path alone can fill 200 pixels).
    const bool last = i == 1;
    if (last) {
      ui.StatusPanels[i]->setMinimumWidth(widths[i]);
    } else {
      ui.StatusPanels[i]->setFixedWidth(widths[i]);
    }
    bar->addWidget(ui.StatusPanels[i], last ? 1 : 0);
  }
  return bar;
}

void SetTabOrder(const FormControls& ui) {
  QWidget* const chain[] = {ui.Edit1, ui.ComboBox1, ui.Button1, ui.ComboBox6, ui.edmodaddr,
                            ui.Button2, ui.Memo1, ui.BitBtn1, ui.ListView1,
                            ui.RelayButtons[0], ui.RelayButtons[1], ui.RelayButtons[2],
                            ui.RelayButtons[3], ui.RelayButtons[4], ui.RelayButtons[5],
                            ui.RelayButtons[6], ui.RelayButtons[7]};
  for (std::size_t i = 1; i < std::size(chain); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

}  // namespace

FormControls BuildForm(QWidget& window) {
  FormControls ui;
  window.setObjectName(QStringLiteral("frmRTUTest"));
  window.setWindowTitle(kWindowCaption);
  window.setWindowIcon(ApplicationIcon());
  window.setFont(NamedFont({QStringLiteral("Microsoft YaHei"), QStringLiteral("微软雅黑")}, 13));
  Fill(&window, window.palette().color(QPalette::Button));  // the button-face colour
  auto* column = new QVBoxLayout(&window);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(TopPanel(&window, ui));
  column->addWidget(MainPanel(&window, ui), 1);
  column->addWidget(StatusBar(&window, ui));
  ui.Timer1 = Named(new QTimer(&window), "Timer1");
  ui.Timer1->setInterval(200);
  SetTabOrder(ui);
  window.move(361, 115);
  window.resize(635, 680);  // outer 643 by 726 with the frame of the desktop it came from
  return ui;
}

}  // namespace rtutest
