// movrek: start-up of the window program. The network modules start before
// the window exists and stop after it has gone, in reverse order.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPainter>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "app/balloon.h"
#include "app/balloon_control.h"
#include "app/main_window.h"
#include "engine/pipeline/network_startup.h"

namespace {

constexpr char kApplicationTitle[] = "Movrek. Version 1.0";

// The window's picture with a balloon drawn over it at its place on the
// screen, cut to its shape. The balloon reaches beyond the window, so the
// picture grows to take it in; what neither covers stays transparent.
QPixmap WithBalloon(const QWidget& form, const QPixmap& window, movrek::app::TBalloon& balloon) {
  const QRect window_area(form.mapToGlobal(QPoint(0, 0)), window.size());
  const QRect balloon_area = balloon.geometry();
  const QRect bounds = window_area | balloon_area;
  QPixmap picture(bounds.size());
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.drawPixmap(window_area.topLeft() - bounds.topLeft(), window);
  const QPoint at = balloon_area.topLeft() - bounds.topLeft();
  painter.setClipRegion(balloon.Shape().translated(at));
  painter.drawPixmap(at, balloon.grab());
  return picture;
}

// Renders the window as it opens into a PNG file, without needing anyone to
// look at a screen (run with QT_QPA_PLATFORM=offscreen for no display).
// With `about`, the About balloon is open in the picture.
int SaveScreenshot(movrek::app::TForm1& form, const QString& fileName, bool about) {
  form.show();
  // A URL list given on the command line is read off the window's thread.
  while (form.Busy()) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  QApplication::processEvents();
  QPixmap picture = form.grab();
  if (about) {
    movrek::app::TBalloon* balloon = form.BalloonControl1->Show();
    QApplication::processEvents();
    picture = WithBalloon(form, picture, *balloon);
  }
  if (!picture.save(fileName)) {
    std::fprintf(stderr, "movrek: cannot write %s\n", qPrintable(fileName));
    return 1;
  }
  return 0;
}

void DescribeApplication() {
  QCoreApplication::setApplicationName(QStringLiteral("Movrek"));
  QCoreApplication::setApplicationVersion(QStringLiteral(MOVREK_VERSION));
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
}

// Qt ends the process (abort) when no platform, such as an X display, can
// be opened. While the application object starts, that becomes a plain
// message and exit code 1, and the platform's own complaints beforehand are
// not shown. Only what the message handler receives is used: no state.
void StartupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    std::fputs("movrek: cannot open the display; movrek-cli works without one\n", stderr);
    std::fflush(stderr);
    std::_Exit(1);
  }
  const std::string_view category = context.category != nullptr ? context.category : "";
  if (category.substr(0, 7) == "qt.qpa.") {
    return;
  }
  std::fprintf(stderr, "%s\n", qPrintable(message));
}

struct TOptions {
  TOptions() {
    Parser.setApplicationDescription(QStringLiteral("Extracts the links of a list of web pages."));
    Parser.addHelpOption();
    Parser.addVersionOption();
    Parser.addOption(Screenshot);
    Parser.addOption(About);
    Parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A text file with one page address per line."),
                                 QStringLiteral("[file]"));
  }
  QCommandLineParser Parser;
  const QCommandLineOption Screenshot{
      QStringLiteral("screenshot"),
      QStringLiteral("Save a picture of the window to <file> and leave."), QStringLiteral("file")};
  const QCommandLineOption About{QStringLiteral("about"),
                                 QStringLiteral("Open the About balloon as the window opens.")};
};

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<movrek::TNetworkStartup> network;
  try {
    network = std::make_unique<movrek::TNetworkStartup>();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "movrek: %s\n", error.what());
    return 1;
  }

  // Help and version are text for a terminal: they need no display.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    // The program's own name, as movrek-cli prints its own.
    if (arg == "--version" || arg == "-v") {
      std::printf("movrek %s\n", MOVREK_PACKAGE_VERSION);
      return 0;
    }
    if (arg == "--help" || arg == "-h" || arg == "--help-all") {
      QCoreApplication text_only(argc, argv);
      DescribeApplication();
      TOptions options;
      options.Parser.process(text_only);
      return 0;
    }
  }

  qInstallMessageHandler(StartupMessages);
  QApplication application(argc, argv);
  qInstallMessageHandler(nullptr);
  DescribeApplication();
  // The menu entry's name: lets Wayland desktops match the window to the
  // entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.movrek.Movrek"));
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/48x48/io.movrek.Movrek.png"));
  icon.addFile(QStringLiteral(":/icons/256x256/io.movrek.Movrek.png"));
  QApplication::setWindowIcon(icon);

  TOptions options;
  QCommandLineParser& parser = options.Parser;
  const QCommandLineOption& screenshot = options.Screenshot;
  const QCommandLineOption& about = options.About;
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
    if (!files.isEmpty()) {
      form.LoadUrlFile(files.front());
    }
    if (parser.isSet(screenshot)) {
      return SaveScreenshot(form, parser.value(screenshot), parser.isSet(about));
    }
    form.show();
    if (parser.isSet(about)) {
      form.Label4Click();
    }
    code = QApplication::exec();
  }
  return code;
}
