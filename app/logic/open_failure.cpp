#include "app/logic/open_failure.h"

#include <cerrno>
#include <string>
#include <vector>

#include "app/logic/windows_open_reason.h"

namespace rtutest {
namespace {

QString SystemSays(const OpenFailure& f) {
  if (f.error == 0) return QStringLiteral("（系统未给出错误代码）");
  return QStringLiteral("（系统错误 %1：%2）").arg(f.error).arg(f.system_text);
}

QString PresentDevices(const QStringList& present) {
  if (present.isEmpty()) return QStringLiteral("本机没有找到串口设备。");
  return QStringLiteral("本机现有的串口设备：") + present.join(QStringLiteral("、")) +
         QStringLiteral("。");
}

QString PermissionAdvice(const QString& group) {
  const QString name = group.isEmpty() ? QStringLiteral("<用户组>") : group;
  const QString owner = group.isEmpty() ? QStringLiteral("请把当前用户加入拥有该设备的用户组")
                                        : QStringLiteral("该设备属于用户组 %1，请把当前用户加入该组").arg(group);
  return owner + QStringLiteral("：sudo usermod -aG %1 $USER，然后重新登录。").arg(name);
}

QString WindowsOpeningRefused(const OpenFailure& f) {
  std::vector<std::string> ports;
  for (const QString& port : f.present) ports.push_back(port.toStdString());
  return QString::fromStdString(
      WindowsOpenReason(f.error, f.system_text.toStdString(), f.device.toStdString(), ports));
}

QString OpeningRefused(const OpenFailure& f) {
  if (f.codes == ErrorCodes::Windows) return WindowsOpeningRefused(f);
  const QString says = SystemSays(f);
  if (f.no_uart) {
    // The node opens, but every setting fails: nothing answers behind the port.
    return QStringLiteral("%1 这个端口没有 UART%2：系统登记了它，但后面没有串口芯片。").arg(f.device, says) +
           PresentDevices(f.present);
  }
  switch (f.error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return QStringLiteral("没有这个设备：%1%2。").arg(f.device, says) + PresentDevices(f.present);
    case EACCES:
    case EPERM:
      return QStringLiteral("没有权限打开 %1%2。").arg(f.device, says) + PermissionAdvice(f.owner_group);
    case EBUSY:
      return QStringLiteral("%1 正被其他程序使用%2。请先关闭占用该串口的程序。").arg(f.device, says);
    case ENOTTY:
    case EISDIR:
      return QStringLiteral("%1 不是串口设备%2。").arg(f.device, says) + PresentDevices(f.present);
    default:
      return QStringLiteral("无法打开 %1%2。").arg(f.device, says);
  }
}

QString SettingRefused(const OpenFailure& f) {
  const QString says = SystemSays(f);
  switch (f.step) {
    case OpenStep::ControlBlock:
      return QStringLiteral("%1 不接受所设的波特率 %2 或数据格式 %3%4。")
          .arg(f.device, f.baud, f.format, says);
    case OpenStep::EmptyFormat:
      return QStringLiteral("没有填写数据格式，未打开 %1。").arg(f.device);
    case OpenStep::Queues:
      return QStringLiteral("%1 不接受所设的收发缓冲区大小%2。").arg(f.device, says);
    default:
      return QStringLiteral("%1 不接受所设的超时时间%2。").arg(f.device, says);
  }
}

}  // namespace

QString OpenFailureReason(const OpenFailure& failure) {
  return failure.step == OpenStep::Open ? OpeningRefused(failure) : SettingRefused(failure);
}

}  // namespace rtutest
