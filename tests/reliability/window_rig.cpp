#include "tests/reliability/window_rig.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace reliability {

using Clock = std::chrono::steady_clock;

WindowRig::WindowRig() {
  rtutest::LinkMode = 0;  // as at program start
  window_ = std::make_unique<rtutest::TfrmRTUTest>(platform_);
  instruments_.Attach(*window_);
}

WindowRig::~WindowRig() = default;

bool WindowRig::OpenPort(const std::string& path) {
  window_->Controls().Edit1->setText(QString::fromStdString(path));
  window_->RunHandler([this] { window_->Button1Click(); });
  return window_->XMODEM1().IsOpen();
}

void WindowRig::Tick() { rtutest::testing::TickOf(*window_); }

std::chrono::microseconds WindowRig::TimedTick() {
  const auto start = Clock::now();
  Tick();
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
}

void WindowRig::Read() {
  window_->RunHandler([this] { window_->BitBtn1Click(); });
}

void WindowRig::ProcessEvents() { QCoreApplication::processEvents(); }

void WindowRig::TakeLog(LogCounts& counts) {
  const QString text = window_->Controls().Memo1->toPlainText();
  window_->Controls().Memo1->clear();
  if (text.isEmpty()) return;
  const QStringList lines = text.split(u'\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QString& line = lines[i];
    if (line.contains(QStringLiteral(" 接收："))) ++counts.received;
    if (line.contains(QStringLiteral(" 发送："))) ++counts.sent;
    if (line == QStringLiteral("CRC校验失败！")) ++counts.failures;
    if (line == QStringLiteral("发送失败！")) ++counts.send_failures;
    if (line.startsWith(QStringLiteral("AI0="))) {
      ++counts.decodes;
      counts.last_values = lines.mid(i, 16);
    }
  }
}

}  // namespace reliability
