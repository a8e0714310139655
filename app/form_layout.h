#pragma once
// The window's controls, built with the names, texts, positions, colours and fonts the
// tool has always had. Sizes are at 96 dpi; Qt scales them on high-density screens.
#include <QString>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTimer;
class QTreeWidget;
class QWidget;

namespace rtutest {

struct FormControls {
  QLineEdit* Edit1 = nullptr;
  QPushButton* Button1 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QComboBox* ComboBox6 = nullptr;
  QLineEdit* edmodaddr = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QTreeWidget* ListView1 = nullptr;
  QPushButton* RelayButtons[8] = {};  // Button3..Button10
  QSplitter* Splitter1 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusPanels[2] = {};  // widths 100 and 200; the open result goes to index 1
  QTimer* Timer1 = nullptr;
};

inline const QString kWindowCaption = QStringLiteral("QLM7305 RTU串口测试 V1.1");

// Builds every control as a child of window, sets the window's caption, font, position and
// size, and the tab order. The channel list is created empty.
FormControls BuildForm(QWidget& window);

}  // namespace rtutest
