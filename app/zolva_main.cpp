// zolva: the desktop program. Usage: zolva [SCRIPT]; the script runs once the program has
// started. --screenshot-dir DIR saves a picture of each window into DIR after the script and
// ends the program (scripts/screenshot.sh runs it under Xvfb).
#include <QApplication>
#include <QTimer>
#include <cstring>
#include <iostream>
#include <string>

#include "ui/desktop_program.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("zolva");
  std::string script, screenshotDir;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--screenshot-dir" && i + 1 < argc) {
      screenshotDir = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      std::cout << "usage: zolva [SCRIPT]\n";
      return 0;
    } else if (!arg.empty() && arg[0] != '-' && script.empty()) {
      script = arg;
    } else {
      std::cerr << "zolva: unknown argument " << arg << "\nusage: zolva [SCRIPT]\n";
      return 2;
    }
  }
  zolva::DesktopProgram program;
  int status = 0;
  if (!screenshotDir.empty()) program.platform().answerMessageBoxes = true;
  if (!script.empty() || !screenshotDir.empty()) {
    program.RunScriptWhenStarted(script, [&program, &screenshotDir, &status] {
      if (screenshotDir.empty()) return;
      if (!program.SaveScreenshots(screenshotDir)) status = 1;
      QTimer::singleShot(0, qApp, &QApplication::quit);
    });
  }
  const int loop = app.exec();
  return status != 0 ? status : loop;
}
