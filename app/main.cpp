// Program entry: the application, the test window, the message loop until it is closed.
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>

#include "app/rtutest.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.setApplicationDescription(rtutest::kWindowCaption);
  parser.addHelpOption();
  const QCommandLineOption port(QStringLiteral("port"),
                                QStringLiteral("Prefills the port name with <name>."),
                                QStringLiteral("name"));
  parser.addOption(port);
  parser.process(app);  // an unknown option ends the program with a message
  if (!parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "rtutest: unexpected argument '%s'\n",
                 qPrintable(parser.positionalArguments().front()));
    return 2;
  }
  rtutest::TfrmRTUTest frmRTUTest;
  if (parser.isSet(port)) frmRTUTest.PrefillPortName(parser.value(port));
  frmRTUTest.show();
  return app.exec();
}
