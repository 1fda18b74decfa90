// The lists as editors: the X clipboard shared with other programs, undo of
// every list command, drops on the URL list; and the window's rough edges
// (Enter on buttons, its least size, the About caption, no display at all).
#include <gtest/gtest.h>

#include <QClipboard>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>
#include <functional>
#include <string>
#include <thread>

#include "app/app_limits.h"
#include "tests/app/form_fixture.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scoped_env.h"

namespace movrek::test {
namespace {

// xclip run beside the window, as another program on the same display.
QString RunXclip(const QStringList& args, const QByteArray& input = {}) {
  QProcess xclip;
  xclip.start(QString::fromStdString(FindProgram("xclip")), args);
  if (!input.isEmpty()) {
    xclip.write(input);
    xclip.closeWriteChannel();
    return {};  // it serves the clipboard until the window has read it
  }
  // The window answers xclip's request from its event loop meanwhile.
  EXPECT_TRUE(QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10000));
  return QString::fromUtf8(xclip.readAllStandardOutput());
}

TEST_F(FormTest, CopyAndPasteGoThroughTheXClipboard) {
  MOVREK_REQUIRE_PEER("xclip");
  Form().Memo2->setPlainText("alpha beta");
  Form().Memo2->setFocus();
  Form().Memo2->setSelection(0, 0, 0, 5);
  Form().Copy1->trigger();
  EXPECT_EQ(RunXclip({"-selection", "clipboard", "-o"}), "alpha");

  QProcess owner;
  owner.start(QString::fromStdString(FindProgram("xclip")),
              {"-quiet", "-selection", "clipboard", "-i"});
  owner.write("from another program\nsecond line");
  owner.closeWriteChannel();
  ASSERT_TRUE(QTest::qWaitFor(
      [] { return QApplication::clipboard()->text() == "from another program\nsecond line"; },
      10000));
  Form().Memo1->setFocus();
  QTest::keyClick(Form().Memo1, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Form().Memo1->toPlainText(), "from another program\nsecond line");
  owner.kill();
  owner.waitForFinished();
}

TEST_F(FormTest, EveryListCommandIsOneUndoStep) {
  struct {
    const char* name;
    const char* before;
    std::function<void(app::TForm1&)> command;
    const char* after;
    bool busy;  // works off the window's thread, under the busy cursor
  } const cases[] = {
      {"remove #", "a\n#b\nc", [](app::TForm1& f) { f.RemoveLinesStartsWith1->trigger(); }, "a\nc",
       true},
      {"clear all", "a\nb", [](app::TForm1& f) { f.ClearAll1->trigger(); }, "", false},
      {"generator", "kept",
       [](app::TForm1& f) {
         f.SpinEdit1->setValue(1);
         f.SpinEdit2->setValue(3);
         f.Edit3->setText("g$i");
         f.Button6temp->click();
       },
       "kept\ng1\ng2\ng3", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Form().Memo2->setPlainText(c.before);
    EXPECT_FALSE(Form().Memo2->Modified());
    c.command(Form());
    EXPECT_EQ(QApplication::overrideCursor() != nullptr, c.busy);
    ASSERT_TRUE(WaitForListWork());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Form().Memo2->toPlainText(), c.after);
    EXPECT_TRUE(Form().Memo2->Modified());
    Form().Memo2->setFocus();
    QTest::keyClick(Form().Memo2, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Form().Memo2->toPlainText(), c.before);
  }
}

TEST_F(FormTest, EditsBeyondTheUndoLimitKeepTheTextAndTheModifiedState) {
  app::TMemo& memo = *Form().Memo2;
  memo.setPlainText("first");
  memo.SetUndoLimitBytes(64);
  memo.AppendLines("small");
  EXPECT_TRUE(memo.isUndoAvailable());
  // Larger than the whole history may be: done, but not undoable.
  const std::string big(100, 'x');
  memo.AppendLines(big);
  EXPECT_FALSE(memo.isUndoAvailable());
  EXPECT_TRUE(memo.Modified());
  EXPECT_EQ(memo.toPlainText().toStdString(), "first\nsmall\n" + big);
  // The same through a new document, as a list of millions of lines goes.
  memo.ReplaceAll(big + big);
  EXPECT_FALSE(memo.isUndoAvailable());
  EXPECT_TRUE(memo.Modified());
  EXPECT_EQ(memo.toPlainText().toStdString(), big + big);
  EXPECT_LE(memo.UndoHistoryBytes(), memo.UndoLimitBytes());
  // Typing afterwards is undoable again, within the limit.
  memo.setFocus();
  memo.setCursorPosition(0, 0);
  QTest::keyClicks(&memo, "ab");
  EXPECT_TRUE(memo.isUndoAvailable());
  memo.setModified(false);
  EXPECT_FALSE(memo.Modified());
}

// A job takes the URL list at Start on its own thread, while the list may
// already change: the copy holds the text of the moment it was asked for.
TEST_F(FormTest, ASnapshotKeepsTheTextItWasTakenFromWhateverComesNext) {
  app::TMemo& memo = *Form().Memo1;
  const struct {
    const char* name;
    std::function<void()> change;
  } cases[] = {
      {"an append", [&] { memo.AppendLines("more"); }},
      {"typing at the start", [&] { memo.insertAt("x", 0, 0); }},  // the text moves
      {"a new document", [&] { memo.ReplaceAll(std::string(app::kMaxUndoHistoryBytes + 1, 'x')); }},
      {"an undo", [&] { memo.undo(); }},
      {"nothing", [] {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    memo.setPlainText("http://a/\nhttp://b/");
    memo.AppendLines("http://c/");
    const auto snapshot = memo.Snapshot();
    c.change();
    std::string taken;
    std::thread([&] { taken = snapshot->Take(); }).join();
    EXPECT_EQ(taken, "http://a/\nhttp://b/\nhttp://c/");
  }
}

TEST_F(FormTest, DroppingOnTheUrlListLoadsATextFileAndAppendsLinks) {
  TempDir dir;
  const std::string file = dir.Write("urls.txt", "f1.example\r\nf2.example\r\n");
  struct {
    const char* name;
    std::function<void(QMimeData&)> fill;
    const char* list;
  } const cases[] = {
      {"file",
       [&](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))}); },
       "f1.example\nf2.example"},
      {"links",
       [](QMimeData& m) {
         m.setUrls({QUrl("http://a.example/x"), QUrl("https://b.example/")});
       },
       "kept\nhttp://a.example/x\nhttps://b.example/"},
      {"text", [](QMimeData& m) { m.setText("c.example\r\nd.example\n"); },
       "kept\nc.example\nd.example"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Form().Memo1->setPlainText("kept");
    QMimeData data;
    c.fill(data);
    // As a drag from another program arrives: it enters, then drops.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Form().Memo1->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Form().Memo1->viewport(), &drop);
    ASSERT_TRUE(WaitForListWork());
    EXPECT_EQ(Form().Memo1->toPlainText(), c.list);
  }
}

TEST_F(FormTest, EnterClicksTheFocusedButtonAndTheWindowKeepsItsLeastSize) {
  // Tab leaves a list for the next control instead of going into the text.
  Form().Memo1->setFocus();
  QTest::keyClick(Form().Memo1, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Form().Button1);
  EXPECT_EQ(Form().Memo1->toPlainText(), "");

  Form().SpinEdit1->setValue(1);
  Form().SpinEdit2->setValue(2);
  Form().Button6temp->setFocus();
  QTest::keyClick(Form().Button6temp, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form().Memo2->toPlainText().isEmpty(); }, 5000));
  ASSERT_TRUE(WaitForListWork());
  EXPECT_EQ(Form().Memo2->toPlainText(), "www.example.com/PageNo1\nwww.example.com/PageNo2");

  Form().resize(300, 200);
  QTest::qWait(50);
  EXPECT_EQ(Form().size(), QSize(588, 455));

  // The bold caption under the mouse is shown whole.
  QEvent enter(QEvent::Enter);
  QCoreApplication::sendEvent(Form().Label4, &enter);
  EXPECT_GE(Form().Label4->width(), QFontMetrics(Form().Label4->font()).horizontalAdvance("About"));
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(Form().Label4, &leave);
}

TEST(WindowProgram, WithoutADisplayItSaysSoAndExitsWithOne) {
  const ScopedEnv display("DISPLAY", "");
  const ScopedEnv wayland("WAYLAND_DISPLAY", "");
  std::string output;
  EXPECT_EQ(RunCommand({MOVREK_WINDOW_PATH}, &output, 20000), 1);
  EXPECT_EQ(output, "movrek: cannot open the display; movrek-cli works without one\n");
}

}  // namespace
}  // namespace movrek::test
