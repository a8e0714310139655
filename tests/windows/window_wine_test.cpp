// The window built for Windows, under Wine, on a COM port whose far end the module simulator
// serves (wine_com_peer; fixed values): the shared cases of the window against the module,
// and a failed opening with its reason. The wire file holds every byte the window sent, as
// the line carried it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/tests/window_on_module_cases.h"

namespace rtutest::testing {
namespace {

QString Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? QString::fromLocal8Bit(value) : QString();
}

// The window on this build's own platform (the Win32 backend), its port the COM port.
class ComPortModule : public DeviceWindow {
 protected:
  void Connect() {
    ASSERT_FALSE(Env("RTUTEST_COM_PORT").isEmpty()) << "run through wine_com_peer";
    Ui().Edit1->setText(Env("RTUTEST_COM_PORT"));
  }
  std::optional<modbus::ByteString> WireHolding(std::size_t bytes) {
    modbus::ByteString wire;
    test_support::WaitFor(
        [&] {
          std::ifstream in(Env("RTUTEST_COM_WIRE").toStdString(), std::ios::binary);
          wire.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
          return wire.size() >= bytes;
        },
        [](std::chrono::milliseconds) { QCoreApplication::processEvents(); });
    return wire;
  }
  std::optional<int> RelayAtModule(int /*relay*/) { return std::nullopt; }  // not shown
};
INSTANTIATE_TYPED_TEST_SUITE_P(Wine, WindowAgainstModule, ComPortModule);

using WindowUnderWine = ComPortModule;

TEST_F(WindowUnderWine, AFailedOpeningNamesTheReasonInTheTooltip) {
  Ui().Edit1->setText(QStringLiteral("COM250"));
  Ui().Button1->click();
  EXPECT_EQ(window_.StatusPanelText(1), QStringLiteral("COM250打开失败"));
  EXPECT_FALSE(window_.XMODEM1().IsOpen());
  // Why, in the system's words as UTF-8 (no replacement characters), and which ports exist.
  const QString tip = Ui().StatusPanels[1]->toolTip();
  EXPECT_TRUE(tip.contains(QStringLiteral("COM250"))) << tip.toStdString();
  EXPECT_FALSE(tip.contains(QChar::ReplacementCharacter)) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QStringLiteral("COM1"))) << tip.toStdString();  // Wine's registry lists COM1
}

}  // namespace
}  // namespace rtutest::testing
