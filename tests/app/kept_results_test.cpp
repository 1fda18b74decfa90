// What keeps a user's results: where the focus goes around a job, the
// question before closing over unsaved lines, saving at once when idle, and
// the keyboard shortcuts.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QStatusBar>
#include <functional>

#include "tests/app/form_fixture.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scripted_server.h"

namespace movrek::test {
namespace {

class KeptResultsTest : public FormTest {
 protected:
  // A job that stays running until aborted.
  void StartSlowJob() {
    server_.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n<a href=\"a\">").Silence(20000);
    server_.Start();
    Form().Memo1->setPlainText(QString::fromStdString(server_.Url("/slow")));
    Form().Button1->setFocus();
    QTest::keyClick(Form().Button1, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([this] { return Form().JobRunning(); }, 5000));
  }
  static QMessageBox* CloseQuestion() {
    QMessageBox* box = OpenMessageBox();
    return box != nullptr && box->objectName() == "CloseQuestion" ? box : nullptr;
  }
  ScriptedServer server_;
};

TEST_F(KeptResultsTest, EnterEnterAfterStartAbortsAndKeepsTheWindow) {
  StartSlowJob();
  EXPECT_EQ(QApplication::focusWidget(), Form().Button5);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form().JobRunning(); }, 5000));
  EXPECT_EQ(QApplication::focusWidget(), Form().Button1);
  EXPECT_TRUE(Form().isVisible());
}

struct CloseRoute {
  const char* name;
  std::function<void(app::TForm1&)> close;
};

TEST_F(KeptResultsTest, ClosingOverUnsavedLinesAsksAndCancelKeepsThem) {
  const CloseRoute routes[] = {
      {"Exit", [](app::TForm1& form) { form.Button2->click(); }},
      {"Alt+X", [](app::TForm1& form) { QTest::keyClick(&form, Qt::Key_X, Qt::AltModifier); }},
      {"Ctrl+Q",
       [](app::TForm1& form) { QTest::keyClick(form.Memo2, Qt::Key_Q, Qt::ControlModifier); }},
      {"window frame", [](app::TForm1& form) { form.close(); }},
  };
  Form().Memo2->AppendLines("http://a.example/\nhttp://b.example/\nhttp://c.example/");
  for (const CloseRoute& route : routes) {
    SCOPED_TRACE(route.name);
    route.close(Form());
    // A mnemonic clicks its button after a moment.
    ASSERT_TRUE(QTest::qWaitFor([] { return CloseQuestion() != nullptr; }, 2000));
    QMessageBox* box = CloseQuestion();
    EXPECT_EQ(box->text(), "Found Links holds 3 unsaved lines. Close anyway?");
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Cancel));
    ASSERT_NE(box->button(QMessageBox::Close), nullptr);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([] { return CloseQuestion() == nullptr; }, 2000));
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(Form().Memo2->ListLineCount(), 3);
  }
  Form().close();
  QMessageBox* box = CloseQuestion();
  ASSERT_NE(box, nullptr);
  box->button(QMessageBox::Close)->click();
  EXPECT_TRUE(QTest::qWaitFor([this] { return !Form().isVisible(); }, 2000));
}

TEST_F(KeptResultsTest, SaveLinksWhenIdleWritesAtOnceAndTheWindowClosesWithoutAsking) {
  TempDir dir;
  const std::string file = dir.File("links.txt");
  Form().Memo2->AppendLines("one\ntwo");
  AnswerFileDialog(QString::fromStdString(file));
  QTest::keyClick(Form().Memo1, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(ReadFileText(file), "one\r\ntwo\r\n");
  EXPECT_FALSE(Form().Label5->isVisible());
  EXPECT_TRUE(Form().Label6->text().isEmpty());
  EXPECT_TRUE(Form().StatusBar1->currentMessage().startsWith("Saved 2 lines to "));
  Form().close();
  EXPECT_EQ(CloseQuestion(), nullptr);
  EXPECT_FALSE(Form().isVisible());
}

struct ShortcutCase {
  const char* name;
  int key;
  Qt::KeyboardModifiers modifiers;
  const char* message;  // the message box Start shows over an empty list
  const char* dialog_title;
};

TEST_F(KeptResultsTest, ShortcutsReachTheirCommandsFromEitherList) {
  const ShortcutCase cases[] = {
      {"F5", Qt::Key_F5, Qt::NoModifier, "At least one url is needed to extract link.", ""},
      {"Ctrl+Return", Qt::Key_Return, Qt::ControlModifier,
       "At least one url is needed to extract link.", ""},
      {"Ctrl+O", Qt::Key_O, Qt::ControlModifier, "", "Text file having one url per line."},
  };
  for (QWidget* list : {static_cast<QWidget*>(Form().Memo1), static_cast<QWidget*>(Form().Memo2)}) {
    for (const ShortcutCase& c : cases) {
      SCOPED_TRACE(c.name + (" in " + list->objectName().toStdString()));
      last_dialog_title_.clear();
      AnswerFileDialog({});
      list->setFocus();
      QTest::keyClick(list, static_cast<Qt::Key>(c.key), c.modifiers);
      QMessageBox* box = OpenMessageBox();
      EXPECT_EQ(box != nullptr ? box->text() : QString(), c.message);
      if (box != nullptr) box->accept();
      EXPECT_EQ(last_dialog_title_, c.dialog_title);
    }
  }
  // Escape aborts a running job, whichever control has the focus.
  StartSlowJob();
  Form().Memo2->setFocus();
  QTest::keyClick(Form().Memo2, Qt::Key_Escape);
  EXPECT_FALSE(Form().JobRunning());
}

TEST_F(KeptResultsTest, TheDoneLineCountsPagesLinksAndFailuresUntilTheNextStart) {
  MOVREK_REQUIRE_PEER("nginx");
  NginxServer nginx;
  nginx.WriteFile("a.html", "<a href=\"x.html\">x</a><a href='/y'>y</a>");
  ASSERT_TRUE(nginx.Start());
  Form().Memo1->setPlainText(
      QString::fromStdString(nginx.Url("/a.html") + "\n" + nginx.Url("/missing.html")));
  QTest::keyClick(Form().Memo1, Qt::Key_F5);
  EXPECT_EQ(QApplication::focusWidget(), Form().Button5);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form().JobRunning(); }, 20000));
  EXPECT_EQ(Form().StatusBar1->currentMessage(), "Done: 2 pages, 2 links, 1 failed");
  EXPECT_EQ(QApplication::focusWidget(), Form().Button1);
  QTest::qWait(200);
  EXPECT_EQ(Form().StatusBar1->currentMessage(), "Done: 2 pages, 2 links, 1 failed");
  QTest::keyClick(Form().Memo1, Qt::Key_F5);
  EXPECT_FALSE(Form().StatusBar1->currentMessage().startsWith("Done"));
}

}  // namespace
}  // namespace movrek::test
