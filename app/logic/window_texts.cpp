#include "app/logic/window_texts.h"

namespace rtutest {

QString OpenSuccessText(const QString& device, const QString& baud, const QString& format) {
  return device + QStringLiteral("打开成功,BaudRate=") + baud + QStringLiteral(",参数=") + format;
}

QString OpenFailureText(const QString& device) { return device + QStringLiteral("打开失败"); }

QString FailureBoxText(const QString& message) {
  if (!message.isEmpty() && message.back() > u'.') return message + u'.';
  return message;
}

}  // namespace rtutest
