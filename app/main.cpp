// Program entry: the application, the test window, the message loop until it is closed.
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QEvent>
#include <QTimer>

#include "app/rtutest.h"

namespace {

// Ends the message loop once the watched window has been drawn: an installation check shows
// that the installed program starts its window, without anyone there to close it.
class QuitWhenDrawn : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // The installed desktop entry's name: on Wayland it connects the window to its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(RTUTEST_APP_ID));
  QCommandLineParser parser;
  parser.setApplicationDescription(rtutest::kWindowCaption);
  parser.addHelpOption();
  const QCommandLineOption port(QStringLiteral("port"),
                                QStringLiteral("Prefills the port name with <name>."),
                                QStringLiteral("name"));
  parser.addOption(port);
  const QCommandLineOption quitWhenShown(
      QStringLiteral("quit-when-shown"),
      QStringLiteral("Quits with status 0 once the window has been drawn (installation check)."));
  parser.addOption(quitWhenShown);
  parser.process(app);  // an unknown option ends the program with a message
  if (!parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "rtutest: unexpected argument '%s'\n",
                 qPrintable(parser.positionalArguments().front()));
    return 2;
  }
  QuitWhenDrawn quitWhenDrawn;
  rtutest::TfrmRTUTest frmRTUTest;
  if (parser.isSet(port)) frmRTUTest.PrefillPortName(parser.value(port));
  if (parser.isSet(quitWhenShown)) frmRTUTest.installEventFilter(&quitWhenDrawn);
  frmRTUTest.show();
  return app.exec();
}
