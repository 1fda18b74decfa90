// The commands on the URL list and the result list: generator, loading,
// saving, cleaning and the editing keystrokes.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QClipboard>
#include <QMenu>
#include <QSpinBox>
#include <csignal>

#include "app/text_edit_lines.h"
#include "tests/app/form_fixture.h"
#include "tests/helpers/peers.h"

namespace movrek::test {
namespace {

struct GeneratorCase {
  int first;
  int last;
  const char* line_template;
  const char* lines;  // Memo2 afterwards
};

TEST_F(FormTest, WriteLnGeneratesTheRangeIntoTheResultList) {
  const GeneratorCase cases[] = {
      {1, 5, "x$iy$i", "x1y1\nx2y2\nx3y3\nx4y4\nx5y5"},
      {3, 3, "p$i", "p3"},
      {5, 1, "p$i", ""},
      {-2, 0, "n$i", "n-2\nn-1\nn0"},
      {1, 2, "same", "same\nsame"},
      {1, 2, "big$I", "big$I\nbig$I"},
      {2147483646, 2147483647, "$i", "2147483646\n2147483647"},
  };
  for (const GeneratorCase& c : cases) {
    SCOPED_TRACE(c.line_template);
    Form().Memo2->clear();
    Form().SpinEdit1->setValue(c.first);
    Form().SpinEdit2->setValue(c.last);
    Form().Edit3->setText(QString::fromUtf8(c.line_template));
    Form().Button6temp->click();
    ASSERT_TRUE(WaitForListWork());
    EXPECT_EQ(Form().Memo2->toPlainText(), QString::fromUtf8(c.lines));
  }
  // Appended below what is there, without an empty line between.
  Form().Memo2->setPlainText("kept\n");
  Form().SpinEdit1->setValue(1);
  Form().SpinEdit2->setValue(1);
  Form().Edit3->setText("g$i");
  Form().Button6temp->click();
  ASSERT_TRUE(WaitForListWork());
  EXPECT_EQ(Form().Memo2->toPlainText(), "kept\ng1");
  EXPECT_EQ(Form().Memo1->toPlainText(), "");
}

TEST(TextEditLines, RemovesOnlyLinesThatStartWithTheMark) {
  const struct {
    const char* before;
    const char* after;
  } cases[] = {
      {"#===========#\n# Links From: u\nhttp://a/\n#===========#\nhttp://b/",
       "http://a/\nhttp://b/"},
      {" #kept\nx#y\n\n#gone\nlast", " #kept\nx#y\n\nlast"},
      {"a\n#b", "a"},
      {"a\n#b\n", "a\n"},
      {"#only", ""},
  };
  for (const auto& c : cases) {
    std::string text = c.before;
    EXPECT_TRUE(app::RemoveLinesStartingWith(text, '#')) << c.before;
    EXPECT_EQ(text, c.after) << c.before;
  }
  std::string untouched = "a\nb #";
  EXPECT_FALSE(app::RemoveLinesStartingWith(untouched, '#'));
  EXPECT_EQ(untouched, "a\nb #");
}

TEST_F(FormTest, RemoveLinesStartsWithHashKeepsLinksAndGeneratedLines) {
  Form().Memo2->setPlainText(
      "#===========#\n# Links From: http://h/\n#===========#\nhttp://h/a\ngen1\n#x");
  Form().RemoveLinesStartsWith1->trigger();
  ASSERT_TRUE(WaitForListWork());
  EXPECT_EQ(Form().Memo2->toPlainText(), "http://h/a\ngen1");
}

TEST_F(FormTest, LoadUrlFromFileTakesEveryLineEndAndKeepsTheListOnFailure) {
  TempDir dir;
  const std::string file =
      dir.Write("urls.txt", "a.example\rb.example\nc.example\r\nd.example\r\n");
  AnswerFileDialog(QString::fromStdString(file));
  Form().Button3->click();
  ASSERT_TRUE(WaitForListWork());
  EXPECT_EQ(last_dialog_title_, "Text file having one url per line.");
  EXPECT_EQ(Form().Memo1->toPlainText(), "a.example\nb.example\nc.example\nd.example");

  EXPECT_FALSE(Form().LoadUrlFile(QString::fromStdString(dir.File("missing.txt"))));
  QMessageBox* box = OpenMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->text().contains("missing.txt")) << box->text().toStdString();
  EXPECT_TRUE(box->text().contains("No such file or directory")) << box->text().toStdString();
  box->accept();
  EXPECT_EQ(Form().Memo1->toPlainText(), "a.example\nb.example\nc.example\nd.example");
}

TEST_F(FormTest, SaveWritesCrLfLinesAndAFailedSaveKeepsTheEarlierFile) {
  TempDir dir;
  const QString file = QString::fromStdString(dir.File("saved.txt"));
  Form().Memo2->setPlainText("one\ntwo");
  AnswerFileDialog(file);
  Form().Save1->trigger();
  EXPECT_EQ(ReadFileText(file.toStdString()), "one\r\ntwo\r\n");

  // A file size limit makes the next write fail part-way, as a full disk does.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old_limit{};
  ::getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit limit = old_limit;
  limit.rlim_cur = 4096;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  Form().Memo2->setPlainText(QString(100000, QLatin1Char('x')));
  Form().Save1->trigger();
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  EXPECT_EQ(ReadFileText(file.toStdString()), "one\r\ntwo\r\n");
  QMessageBox* box = OpenMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->text().contains("saved.txt")) << box->text().toStdString();
  // The same save as the engine's: the message names the step that failed.
  EXPECT_TRUE(box->text().contains("writing failed. File too large")) << box->text().toStdString();
  box->accept();
  EXPECT_EQ(Form().Memo2->toPlainText().size(), 100000);
}

TEST_F(FormTest, EditingCommandsActLikeTheirKeystrokesOnTheFocusedList) {
  QClipboard* clipboard = QApplication::clipboard();
  Form().Memo2->setPlainText("alpha beta");
  Form().Memo2->setFocus();
  Form().Memo2->setSelection(0, 0, 0, 5);
  Form().Copy1->trigger();
  EXPECT_EQ(clipboard->text(), "alpha");
  Form().Cut1->trigger();
  EXPECT_EQ(Form().Memo2->toPlainText(), " beta");
  Form().Memo2->setCursorPosition(0, 5);
  Form().Paste1->trigger();
  EXPECT_EQ(Form().Memo2->toPlainText(), " betaalpha");
  Form().SelectAll1->trigger();
  Form().Delete1->trigger();
  EXPECT_EQ(Form().Memo2->toPlainText(), "");
  Form().Memo2->setPlainText("x");
  Form().ClearAll1->trigger();
  EXPECT_EQ(Form().Memo2->toPlainText(), "");

  const QStringList captions = {"Cut",        "Copy",   "Paste",     "Save",
                                "Select All", "Delete", "Clear All", "Remove Lines Starts With #"};
  QStringList shown;
  for (QAction* action : Form().PopupMenu1->actions()) shown << action->text();
  EXPECT_EQ(shown, captions);
}

TEST_F(FormTest, CtrlASelectsTheWholeUrlListWithOrWithoutShift) {
  for (Qt::KeyboardModifiers modifiers :
       {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::ControlModifier | Qt::ShiftModifier}) {
    Form().Memo1->setPlainText("one\ntwo");
    Form().Memo1->setCursorPosition(0, 0);
    Form().Memo1->setFocus();
    QTest::keyClick(Form().Memo1, Qt::Key_A, modifiers);
    EXPECT_EQ(Form().Memo1->selectedText(), "one\ntwo");
  }
}

}  // namespace
}  // namespace movrek::test
