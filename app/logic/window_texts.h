#pragma once
// Texts the window composes: the status after opening and the failure box message.
#include <QString>

namespace rtutest {

// device + "打开成功,BaudRate=" + baud + ",参数=" + format, exactly as typed, no blanks.
QString OpenSuccessText(const QString& device, const QString& baud, const QString& format);
// device + "打开失败".
QString OpenFailureText(const QString& device);

// A failure's message as the failure box shows it: a full stop is appended when the last
// character sorts after the full stop (letters, digits, CJK characters); a message that
// ends in a full stop or a closing parenthesis, and the empty message, stay unchanged.
QString FailureBoxText(const QString& message);

}  // namespace rtutest
