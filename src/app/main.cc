// velkan-gui: the desktop dialog over the conversion engine.
#include <unistd.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <clocale>
#include <csignal>

#include "app/app_icon.h"
#include "app/main_dialog.h"
#include "app/search_path.h"
#include "app/settings.h"
#include "frontend/messages.h"
#include "frontend/termination.h"
#include "io/output_file.h"

int main(int argc, char** argv) {
  // Before anything is opened, a closed standard descriptor is held, so that
  // no file of the program takes its number.
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) velkan::frontend::HoldClosedDescriptor(fd);
  // The environment is changed before any thread exists.
  velkan::app::SetUpSearchPath(velkan::app::SharedProfilePath());
  // The temporary output files of the conversions in flight, removed when a
  // signal ends the program or when it ends through exit(), as the toolkit
  // ends it when the display goes away; made before any other thread, and
  // never freed, since the thread that takes the signals may use it until
  // the very end.
  static velkan::TemporaryFiles* const temporaries = new velkan::TemporaryFiles;
  velkan::frontend::RemoveTemporariesWhenEnding(*temporaries);
  // A file size limit shows as a write error of the output (EFBIG), reported
  // like any other, instead of ending the program.
  std::signal(SIGXFSZ, SIG_IGN);

  QApplication app(argc, argv);
  // The toolkit took every category of the locale from the environment;
  // numbers keep their decimal point (the conversion writes lengths with
  // printf), and the messages follow the locale as the command's do.
  std::setlocale(LC_NUMERIC, "C");
  velkan::frontend::SetUpMessages();
  // The toolkit's own texts (file dialogs, standard buttons) in the same
  // language, from its translations where they are installed.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTexts);
  }
  QApplication::setApplicationName(QStringLiteral("velkan"));
  QApplication::setWindowIcon(velkan::app::ApplicationIcon());

  velkan::app::MainDialog dialog(velkan::app::SettingsFilePath());
  dialog.SetTemporaryFiles(temporaries);
  dialog.exec();
  return 0;
}
