// Writes an image of the test window as it opens: screenshot_main OUTPUT.png
// Runs on the offscreen platform, so it needs no display.
#include <cstdio>

#include <QApplication>
#include <QPixmap>

#include "app/rtutest.h"

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  rtutest::TfrmRTUTest window;
  window.show();
  QCoreApplication::processEvents();
  if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
