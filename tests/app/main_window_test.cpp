// The main window as a user meets it: its controls, its frame, and jobs run
// from Start against real and scripted servers.
#include <dirent.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>

#include "tests/app/form_fixture.h"
#include "tests/helpers/encoding_pages.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scoped_env.h"
#include "tests/helpers/scripted_server.h"
#include "tests/helpers/silent_name_server.h"

namespace movrek::test {
namespace {

struct ControlRow {
  const char* name;
  const char* kind;
  QRect geometry;  // a label's size follows its text; only its place counts
  const char* text;
};

// Positions relative to the client area, or to Panel1 for the filter.
const ControlRow kControls[] = {
    {"Image1", "QLabel", {0, 0, 588, 436}, ""},
    {"Label1", "QLabel", {16, 16, 0, 0}, "Extract Links From the URL Bellow [Single URL per line]"},
    {"Label2", "QLabel", {19, 177, 0, 0}, "Found Links"},
    {"Label4", "QLabel", {537, 384, 0, 0}, "About"},
    {"Label5", "QLabel", {19, 321, 0, 0}, "Save To: "},
    {"Label6", "QLabel", {67, 321, 3, 13}, ""},
    {"Label7", "QLabel", {16, 379, 0, 0}, "For i := "},
    {"Label8", "QLabel", {102, 379, 0, 0}, "To"},
    {"Label9", "QLabel", {168, 379, 0, 0}, "Do"},
    {"Label10", "QLabel", {543, 194, 0, 0}, "Note"},
    {"Memo1", "movrek::app::TMemo", {16, 32, 313, 121}, ""},
    {"Button1", "QPushButton", {504, 216, 75, 25}, "Start"},
    {"StatusBar1", "QStatusBar", {0, 436, 588, 19}, ""},
    {"Button2", "QPushButton", {504, 304, 75, 25}, "E&xit"},
    {"Button3", "QPushButton", {378, 32, 201, 25}, "Load URL From File"},
    {"Button4", "QPushButton", {379, 64, 200, 25}, "Save Links To File"},
    {"Panel1", "QFrame", {378, 104, 201, 81}, ""},
    {"Label3", "QLabel", {110, 44, 0, 0}, "\"Keyword\"."},
    {"Shape1", "QFrame", {7, 35, 99, 23}, ""},
    {"Edit1", "QLineEdit", {8, 36, 97, 21}, ""},
    {"ComboBox1", "QComboBox", {93, 5, 81, 21}, "Having"},
    {"CheckBox2", "QCheckBox", {10, 8, 79, 17}, "Collect Links "},
    {"Edit2", "QLineEdit", {7, 344, 574, 21}, ""},
    {"Memo2", "movrek::app::TMemo", {16, 193, 313, 121}, ""},
    {"Button5", "QPushButton", {504, 250, 75, 25}, "Abort"},
    {"Button6temp", "QPushButton", {57, 407, 75, 22}, "WriteLn"},
    {"SpinEdit1", "QSpinBox", {56, 377, 41, 22}, "1"},
    {"SpinEdit2", "QSpinBox", {121, 377, 41, 22}, "5"},
    {"Edit3", "QLineEdit", {137, 407, 194, 21}, "www.example.com/PageNo$i"},
};

QString TextOf(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* line = qobject_cast<QLineEdit*>(widget)) return line->text();
  if (auto* memo = qobject_cast<app::TMemo*>(widget)) return memo->toPlainText();
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
  if (auto* spin = qobject_cast<QSpinBox*>(widget)) return QString::number(spin->value());
  return {};
}

TEST_F(FormTest, EveryControlHasItsNameKindPlaceAndText) {
  EXPECT_EQ(Form().windowTitle(), "Movrek. Version 1.0");
  EXPECT_EQ(Form().size(), QSize(588, 455));
  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(row.name);
    auto* widget = Form().findChild<QWidget*>(row.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), row.kind);
    EXPECT_EQ(widget->pos(), row.geometry.topLeft());
    if (row.geometry.width() > 0) {
      EXPECT_EQ(widget->size(), row.geometry.size());
    } else {
      // A label sizes itself to its caption, so no caption is cut off.
      EXPECT_GE(widget->width(), widget->fontMetrics().horizontalAdvance(TextOf(widget)));
    }
    EXPECT_EQ(TextOf(widget), QString::fromUtf8(row.text));
  }
  EXPECT_FALSE(Form().Label5->isVisible());
  EXPECT_FALSE(Form().CheckBox2->isChecked());
  EXPECT_EQ(Form().ComboBox1->count(), 2);
  EXPECT_EQ(Form().ComboBox1->itemText(1), "Not Having");
  EXPECT_TRUE(Form().Edit2->isReadOnly());
  EXPECT_EQ(Form().Memo2->wrapMode(), QsciScintilla::WrapNone);
  EXPECT_EQ(Form().SpinEdit1->minimum(), INT32_MIN);
  EXPECT_EQ(Form().SpinEdit2->maximum(), INT32_MAX);
  EXPECT_EQ(Form().Button3->toolTip(), "Load URL found in a text file. Single URL per line.");
  EXPECT_EQ(Form().focusWidget(), Form().Memo1);
  EXPECT_FALSE(Form().windowFlags() & Qt::WindowMaximizeButtonHint);

  const QColor light_blue(158, 185, 255);
  const QColor dark_blue(1, 19, 127);
  for (const char* name : {"Label1", "Label2", "Label5", "Label6", "Label10"}) {
    auto* label = Form().findChild<QLabel*>(name);
    EXPECT_EQ(label->palette().color(QPalette::Window), light_blue) << name;
    EXPECT_TRUE(label->autoFillBackground()) << name;
  }
  for (const char* name : {"Label4", "Label7", "Label8", "Label9"}) {
    auto* label = Form().findChild<QLabel*>(name);
    EXPECT_EQ(label->palette().color(QPalette::Window), dark_blue) << name;
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::white)) << name;
  }
  EXPECT_EQ(Form().Edit2->palette().color(QPalette::Base), light_blue);

  // Tab order: the focusable controls in the order a user tabs through them.
  const QStringList order = {"Memo1",   "Button1",     "Button2",   "Button3",   "Button4",
                             "Edit1",   "ComboBox1",   "CheckBox2", "Edit2",     "Memo2",
                             "Button5", "Button6temp", "SpinEdit1", "SpinEdit2", "Edit3"};
  QStringList seen;
  QWidget* widget = Form().Memo1;
  do {
    if (order.contains(widget->objectName()) && !seen.contains(widget->objectName())) {
      seen << widget->objectName();
    }
    widget = widget->nextInFocusChain();
  } while (widget != Form().Memo1);
  EXPECT_EQ(seen, order);
}

TEST_F(FormTest, ALargerWindowGrowsTheListsAndMovesTheRestWithTheirEdges) {
  Form().resize(900, 650);
  QTest::qWait(50);
  EXPECT_EQ(Form().Image1->geometry(), QRect(0, 0, 900, 631));
  EXPECT_EQ(Form().StatusBar1->geometry(), QRect(0, 631, 900, 19));
  EXPECT_EQ(Form().Edit2->geometry(), QRect(7, 650 - 90 - 21, 886, 21));
  EXPECT_EQ(Form().Memo1->geometry(), QRect(16, 32, 313 + 312, 121 + 97));
  EXPECT_EQ(Form().Memo2->geometry(), QRect(16, 193 + 97, 313 + 312, 121 + 98));
  EXPECT_EQ(Form().Button1->geometry(), QRect(504 + 312, 216 + 97, 75, 25));
  EXPECT_EQ(Form().Label4->pos(), QPoint(537 + 312, 384 + 195));
  QList<QWidget*> controls;
  for (QWidget* child : Form().findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child != Form().Image1 && child->isVisible() && !child->isWindow()) controls << child;
  }
  for (QWidget* a : controls) {
    EXPECT_TRUE(Form().rect().contains(a->geometry())) << a->objectName().toStdString();
    for (QWidget* b : controls) {
      EXPECT_TRUE(a == b || !a->geometry().intersects(b->geometry()))
          << a->objectName().toStdString() << " overlaps " << b->objectName().toStdString();
    }
  }
  // Back at the designed size, every control stands where it was laid out.
  Form().resize(588, 455);
  QTest::qWait(50);
  for (const ControlRow& row : kControls) {
    auto* widget = Form().findChild<QWidget*>(row.name);
    EXPECT_EQ(widget->pos(), row.geometry.topLeft()) << row.name;
    if (row.geometry.width() > 0) {
      EXPECT_EQ(widget->size(), row.geometry.size()) << row.name;
    }
  }
}

TEST_F(FormTest, StartWithAnEmptyListShowsTheMessageAndStartsNothing) {
  Form().Button1->click();
  QMessageBox* box = OpenMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "At least one url is needed to extract link.");
  EXPECT_TRUE(Form().Button1->isEnabled());
  EXPECT_FALSE(Form().JobRunning());
  box->accept();
}

TEST_F(FormTest, AboutTurnsBoldUnderTheMouseAndNoteShowsItsMessage) {
  QEvent enter(QEvent::Enter);
  QCoreApplication::sendEvent(Form().Label4, &enter);
  EXPECT_TRUE(Form().Label4->font().bold());
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(Form().Label4, &leave);
  EXPECT_FALSE(Form().Label4->font().bold());

  QTest::mouseClick(Form().Label10, Qt::LeftButton);
  QMessageBox* box = OpenMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(),
            "Some site may use script. So on a web browser it is redirected automatically.\r\n"
            "In that case here, the links have to be entered manually.");
  box->accept();
}

class FormJobTest : public FormTest {
 protected:
  // The job's temporary files left in its temporary folder.
  int LeftoverFiles() const {
    int count = 0;
    if (DIR* dir = ::opendir(temp_.path().c_str())) {
      while (dirent* entry = ::readdir(dir))
        count += std::string(entry->d_name).rfind("uis", 0) == 0;
      ::closedir(dir);
    }
    return count;
  }
  bool WaitForIdle(int timeout_ms = 20000) {
    return QTest::qWaitFor([this] { return Form().Button1->isEnabled(); }, timeout_ms);
  }

  TempDir temp_;
  ScopedEnv tmpdir_{"TMPDIR", temp_.path()};
};

TEST_F(FormJobTest, StartRunsTheListAndSavesTheTargetWithCrLf) {
  MOVREK_REQUIRE_PEER("nginx");
  NginxServer nginx;
  nginx.WriteFile("a.html", "<html><a href=\"x.html\">x</a><a href='/y'>y</a></html>");
  nginx.WriteFile("b.html", "<p><a href=\"http://other.example/z\">z</a></p>");
  ASSERT_TRUE(nginx.Start());
  const std::string target = temp_.File("links.txt");
  const auto url_a = nginx.Url("/a.html");
  const auto url_b = nginx.Url("/b.html");
  Form().Memo1->setPlainText(QString::fromStdString("ab\n\n" + url_a + "\n" + url_b));
  Form().Button1->click();
  EXPECT_FALSE(Form().Button1->isEnabled());
  EXPECT_EQ(Form().Memo1->toPlainText().toStdString(), url_a + "\n" + url_b);
  // Chosen while the job runs: saved when it completes.
  AnswerFileDialog(QString::fromStdString(target));
  Form().Button4->click();
  EXPECT_TRUE(Form().Label5->isVisible());
  EXPECT_EQ(Form().Label6->text().toStdString(), target);
  ASSERT_TRUE(WaitForIdle());

  const std::string base = nginx.Url("/");
  const std::string expected = "#===========#\n# Links From: " + url_a + "\n# Baseurl: " + base +
                               "\n#===========#\n" + base + "x.html\n" + base +
                               "y\n#===========#\n# Links From: " + url_b + "\n# Baseurl: " + base +
                               "\n#===========#\nhttp://other.example/z";
  EXPECT_EQ(Form().Memo2->toPlainText().toStdString(), expected);
  std::string crlf;
  for (char c : expected + "\n") crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(ReadFileText(target), crlf);
  EXPECT_EQ(Form().StatusBar1->currentMessage(), "Done: 2 pages, 3 links, 0 failed");
  EXPECT_TRUE(Form().Edit2->text().isEmpty());
  EXPECT_FALSE(Form().Label5->isVisible());
  EXPECT_TRUE(Form().Label6->text().isEmpty());
  EXPECT_EQ(LeftoverFiles(), 0);
}

TEST_F(FormJobTest, PagesInEveryEncodingGiveTheSameAsciiLinksInTheListAndTheFile) {
  MOVREK_REQUIRE_PEER("nginx");
  NginxServer nginx;
  for (const auto& page : EncodingPages()) {
    nginx.WriteFile(page.File, page.Bytes);
    if (!page.HeaderCharset.empty())
      nginx.AddLocation("location = /" + page.File + " { charset " + page.HeaderCharset + "; }");
  }
  ASSERT_TRUE(nginx.Start());
  std::string urls;
  std::string links;
  for (const auto& page : EncodingPages()) {
    urls += nginx.Url("/" + page.File) + "\n";
    links += nginx.Url(page.Link) + "\n";
  }
  const std::string target = temp_.File("links.txt");
  Form().Memo1->setPlainText(QString::fromStdString(urls));
  Form().Button1->click();
  AnswerFileDialog(QString::fromStdString(target));
  Form().Button4->click();
  ASSERT_TRUE(WaitForIdle());
  std::string shown;
  for (const QString& line : Form().Memo2->toPlainText().split('\n'))
    if (!line.startsWith('#')) shown += line.toStdString() + "\n";
  EXPECT_EQ(shown, links);
  std::string saved;
  for (const char c : ReadFileText(target))
    if (c != '\r') saved += c;
  std::string saved_links;
  for (std::size_t at = 0, end; (end = saved.find('\n', at)) != std::string::npos; at = end + 1)
    if (saved[at] != '#') saved_links += saved.substr(at, end + 1 - at);
  EXPECT_EQ(saved_links, links);
}

TEST_F(FormJobTest, AbortDuringASlowPageReturnsToIdleWithoutSaving) {
  ScriptedServer server;
  server.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n<a href=\"a\">").Silence(20000);
  server.Start();
  Form().Memo1->setPlainText(QString::fromStdString(server.Url("/slow")));
  const std::string target = temp_.File("never.txt");
  Form().Button1->click();
  AnswerFileDialog(QString::fromStdString(target));
  Form().Button4->click();
  ASSERT_TRUE(
      QTest::qWaitFor([this] { return !Form().StatusBar1->currentMessage().isEmpty(); }, 10000));
  QElapsedTimer timer;
  timer.start();
  Form().Button5->click();
  EXPECT_TRUE(Form().Button1->isEnabled());
  EXPECT_TRUE(Form().Edit2->text().isEmpty());
  EXPECT_TRUE(Form().Label6->text().isEmpty());
  QTest::qWait(300);
  EXPECT_LT(timer.elapsed(), 2000);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(target)));
  EXPECT_TRUE(QTest::qWaitFor([this] { return LeftoverFiles() == 0; }, 5000));
}

TEST_F(FormJobTest, ClosingTheWindowDuringAJobLeavesNoTemporaryFile) {
  ScriptedServer server;
  server.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n<a href=\"a\">").Silence(20000);
  server.Start();
  Form().Memo1->setPlainText(QString::fromStdString(server.Url("/slow")));
  Form().Button1->click();
  ASSERT_TRUE(
      QTest::qWaitFor([this] { return !Form().StatusBar1->currentMessage().isEmpty(); }, 10000));
  QElapsedTimer timer;
  timer.start();
  Form().Button2->click();
  EXPECT_FALSE(Form().isVisible());
  EXPECT_LT(timer.elapsed(), 2500);
  EXPECT_EQ(LeftoverFiles(), 0);
}

// Threads of this process now.
int ThreadCount() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/task")) {
    while (dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.';
    ::closedir(dir);
  }
  return count;
}

TEST_F(FormJobTest, ClosingTheWindowDuringAHangingLookupEndsTheWorker) {
  SilentNameServer server;
  TJobSettings settings = NoPauses();
  settings.NameServers = {server.Address(), 60000};
  Reopen(settings);
  const int threads_before = ThreadCount();
  Form().Memo1->setPlainText("http://no-such-host.example/x");
  Form().Button1->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.Dropped() > 0; }, 10000));
  EXPECT_GT(ThreadCount(), threads_before);
  QElapsedTimer timer;
  timer.start();
  Form().Button2->click();
  EXPECT_FALSE(Form().isVisible());
  EXPECT_LT(timer.elapsed(), 200);
  EXPECT_EQ(ThreadCount(), threads_before);
  EXPECT_EQ(LeftoverFiles(), 0);
}

}  // namespace
}  // namespace movrek::test
