// The About balloon on a real display: where it points, what it shows and
// how it closes.
#include "app/balloon.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QToolTip>
#include <climits>

#include "app/balloon_control.h"
#include "tests/app/form_fixture.h"

namespace movrek::test {
namespace {

using app::TBalloon;

class BalloonTest : public FormTest {
 protected:
  QList<TBalloon*> Balloons() {
    QList<TBalloon*> open;
    for (TBalloon* balloon :
         Form().findChildren<TBalloon*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (balloon->isVisible()) open.push_back(balloon);
    }
    return open;
  }
  TBalloon* ClickAbout() {
    const auto before = Balloons().size();
    QTest::mouseClick(Form().Label4, Qt::LeftButton);
    const QList<TBalloon*> open = Balloons();
    return open.size() == before + 1 ? open.back() : nullptr;
  }
  // Deletion waits for the event loop after the close.
  static bool Freed(const QPointer<TBalloon>& balloon) {
    return QTest::qWaitFor([&] { return balloon.isNull(); }, 2000);
  }
};

TEST_F(BalloonTest, AboutPointsAtTheProgressLinesTopRightCorner) {
  TBalloon* balloon = ClickAbout();
  ASSERT_NE(balloon, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(balloon));
  const QPoint corner = Form().Edit2->mapToGlobal(QPoint(Form().Edit2->width(), 0));
  const int w = balloon->width();
  const int h = balloon->height();
  // Above and to the right, the pointer leaving the bottom edge 20 pixels in.
  EXPECT_EQ(balloon->pos(), corner - QPoint(20, h));
  EXPECT_TRUE(balloon->mask().contains(QPoint(20, h - 1)));
  EXPECT_EQ(balloon->mapToGlobal(QPoint(20, h - 1)), corner - QPoint(0, 1));
  for (const QPoint outside : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 19),
                               QPoint(w - 1, h - 19), QPoint(w - 1, h - 1)}) {
    EXPECT_FALSE(balloon->mask().contains(outside)) << outside.x() << "," << outside.y();
  }

  EXPECT_EQ(balloon->TitleLabel->text(), "For everyone who gathers the web one link at a time");
  EXPECT_TRUE(balloon->TitleLabel->font().bold());
  const QStringList lines = balloon->TextLabel->text().split('\n');
  ASSERT_EQ(lines.size(), 16);
  EXPECT_EQ(lines[6], "Sockets and HTTP: own code.");
  EXPECT_EQ(lines[15], "                [ Ok ]");
  EXPECT_EQ(balloon->TextLabel->pos(),
            QPoint(10, balloon->TitleLabel->geometry().bottom() + 1 + 8));
  // The information icon, its key colour see-through.
  const QImage icon = balloon->IconImage->pixmap().toImage();
  ASSERT_EQ(icon.size(), QSize(16, 16));
  EXPECT_EQ(icon.pixelColor(0, 15).alpha(), 0);
  EXPECT_EQ(icon.pixelColor(8, 8).alpha(), 255);

  // Tooltip colour inside a black edge one pixel wide.
  const QImage shot = balloon->grab().toImage();
  EXPECT_EQ(shot.pixelColor(w / 2, 0), QColor(Qt::black));
  EXPECT_EQ(shot.pixelColor(w / 2, 1), QToolTip::palette().color(QPalette::ToolTipBase));
  EXPECT_EQ(shot.pixelColor(20, h - 1), QColor(Qt::black));

  const Qt::WindowFlags flags = balloon->windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags.testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                              Qt::WindowDoesNotAcceptFocus));
  EXPECT_TRUE(balloon->testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_FALSE(balloon->HideTimer->isActive());  // duration 0 stays
}

TEST_F(BalloonTest, EveryClickOpensAnotherAndAClickClosesOnlyThatOne) {
  QPointer<TBalloon> first = ClickAbout();
  QPointer<TBalloon> second = ClickAbout();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->geometry(), second->geometry());

  QTest::mouseClick(first, Qt::LeftButton, {}, QPoint(first->width() / 2, 5));
  EXPECT_TRUE(Freed(first));
  ASSERT_FALSE(second.isNull());
  EXPECT_TRUE(second->isVisible());
  // The parts pass a click on to the balloon.
  QTest::mouseClick(second->TextLabel, Qt::LeftButton);
  EXPECT_TRUE(Freed(second));
}

TEST_F(BalloonTest, DurationSetsTheHideTimerAndItsTimeoutClosesTheBalloon) {
  const struct {
    int duration;
    bool active;
    int interval;
  } cases[] = {{0, false, 0}, {5, true, 5000}, {-1, false, 0}, {3000000, true, INT_MAX}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.duration);
    Form().BalloonControl1->Duration = c.duration;
    QPointer<TBalloon> balloon = Form().BalloonControl1->Show();
    EXPECT_EQ(balloon->HideTimer->isActive(), c.active);
    if (c.active) {
      EXPECT_EQ(balloon->HideTimer->interval(), c.interval);
    }
    balloon->close();
  }
  // Waiting 5 s proves nothing more than the interval above: let the timer
  // run short and see that its firing closes the balloon.
  QPointer<TBalloon> balloon = Form().BalloonControl1->Show();
  balloon->HideTimer->start(1);
  EXPECT_TRUE(Freed(balloon));
}

TEST_F(BalloonTest, WithoutAControlItPointsAtTheMousePointer) {
  Form().BalloonControl1->Control = nullptr;
  QCursor::setPos(Form().mapToGlobal(QPoint(200, 300)));
  ASSERT_TRUE(QTest::qWaitFor([] { return QCursor::pos() != QPoint(); }, 1000));
  const QPoint pointer = QCursor::pos();
  TBalloon* balloon = Form().BalloonControl1->Show();
  // Right and top as the form sets them: above and to the right.
  EXPECT_EQ(balloon->pos(), pointer - QPoint(20, balloon->height()));
}

TEST_F(BalloonTest, AMinimiseRequestShowsItAgainAndTheWindowsCloseTakesItAlong) {
  QPointer<TBalloon> balloon = ClickAbout();
  ASSERT_TRUE(balloon);
  balloon->showMinimized();
  EXPECT_FALSE(balloon->isMinimized());
  EXPECT_TRUE(balloon->isVisible());

  Form().close();
  EXPECT_TRUE(Freed(balloon));
}

}  // namespace
}  // namespace movrek::test
