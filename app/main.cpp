// movrek: start-up of the window program. The network modules start before
// the window exists and stop after it has gone, in reverse order.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/main_window.h"
#include "engine/network_startup.h"

namespace {

constexpr char kApplicationTitle[] = "Movrek. Version 1.0";

// Renders the window as it opens into a PNG file, without needing anyone to
// look at a screen (run with QT_QPA_PLATFORM=offscreen for no display).
int SaveScreenshot(movrek::app::TForm1& form, const QString& file_name) {
  form.show();
  QApplication::processEvents();
  if (!form.grab().save(file_name)) {
    std::fprintf(stderr, "movrek: cannot write %s\n", qPrintable(file_name));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<movrek::TNetworkStartup> network;
  try {
    network = std::make_unique<movrek::TNetworkStartup>();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "movrek: %s\n", error.what());
    return 1;
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Movrek"));
  QApplication::setApplicationVersion(QStringLiteral(MOVREK_VERSION));
  QApplication::setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
  // The menu entry's name: lets Wayland desktops match the window to the
  // entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.movrek.Movrek"));
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/48x48/io.movrek.Movrek.png"));
  icon.addFile(QStringLiteral(":/icons/256x256/io.movrek.Movrek.png"));
  QApplication::setWindowIcon(icon);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Extracts the links of a list of web pages."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                      QStringLiteral("Save a picture of the window to <file> and leave."),
                                      QStringLiteral("file"));
  parser.addOption(screenshot);
  parser.addPositionalArgument(QStringLiteral("file"),
                               QStringLiteral("A text file with one page address per line."),
                               QStringLiteral("[file]"));
  parser.process(application);
  if (parser.positionalArguments().size() > 1) {
    // One URL list per window: a second file would be ignored without a word.
    std::fprintf(stderr, "movrek: give at most one file\n");
    return 1;
  }

  int code = 0;
  {
    movrek::app::TForm1 form;
    form.setWindowTitle(QString::fromLatin1(kApplicationTitle));
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) form.LoadUrlFile(files.front());
    if (parser.isSet(screenshot)) return SaveScreenshot(form, parser.value(screenshot));
    form.show();
    code = QApplication::exec();
    if (form.AbandonedWorkers() > 0) {
      // A worker stuck in a name lookup still refers to the window's objects:
      // leave without destroying them (its temporary files are gone already).
      std::fflush(nullptr);
      std::_Exit(code);
    }
  }
  return code;
}
