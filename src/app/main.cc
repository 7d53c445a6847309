// velkan-gui: the desktop dialog over the conversion engine.
#include <QApplication>
#include <csignal>

#include "app/app_icon.h"
#include "app/main_dialog.h"
#include "app/search_path.h"
#include "app/settings.h"

int main(int argc, char** argv) {
  // The environment is changed before any thread exists.
  velkan::app::SetUpSearchPath(velkan::app::SharedProfilePath());
  // A file size limit shows as a write error of the output (EFBIG), reported
  // like any other, instead of ending the program.
  std::signal(SIGXFSZ, SIG_IGN);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("velkan"));
  QApplication::setWindowIcon(velkan::app::ApplicationIcon());

  velkan::app::MainDialog dialog(velkan::app::SettingsFilePath());
  dialog.exec();
  return 0;
}
