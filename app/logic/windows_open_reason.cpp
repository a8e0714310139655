#include "app/logic/windows_open_reason.h"

namespace rtutest {
namespace {

std::string SystemSays(int error, std::string_view text) {
  if (error == 0) return "（系统未给出错误代码）";
  return "（系统错误 " + std::to_string(error) + "：" + std::string(text) + "）";
}

std::string PresentPorts(const std::vector<std::string>& ports) {
  if (ports.empty()) return "本机没有找到串口。";
  std::string list;
  for (const std::string& port : ports) list += (list.empty() ? "" : "、") + port;
  return "本机现有的串口：" + list + "。";
}

}  // namespace

std::string WindowsOpenReason(int error, std::string_view system_text, std::string_view port,
                              const std::vector<std::string>& ports) {
  const std::string name(port);
  const std::string says = SystemSays(error, system_text);
  switch (error) {
    case 2:    // ERROR_FILE_NOT_FOUND
    case 3:    // ERROR_PATH_NOT_FOUND
      return "没有这个串口：" + name + says + "。" + PresentPorts(ports);
    case 5:    // ERROR_ACCESS_DENIED: the port is held by another program
      return name + " 正被其他程序使用" + says + "。请先关闭占用该串口的程序。";
    case 87:   // ERROR_INVALID_PARAMETER
    case 123:  // ERROR_INVALID_NAME
      return name + " 不是有效的串口名" + says + "。串口名形如 COM3。" + PresentPorts(ports);
    case 31:    // ERROR_GEN_FAILURE
    case 433:   // ERROR_NO_SUCH_DEVICE
    case 1167:  // ERROR_DEVICE_NOT_CONNECTED
      return name + " 的设备不工作或已被拔出" + says +
             "。请检查 USB 转串口线是否插好、驱动是否正常，然后重新打开。";
    default:
      return "无法打开 " + name + says + "。";
  }
}

}  // namespace rtutest
