// The balloon's rules as numbers: the point it points at, the side it takes,
// its layout, its place and its shape; and the body text it shows.
#include "app/balloon_geometry.h"

#include <gtest/gtest.h>

#include "app/balloon_control.h"

namespace movrek::app {
namespace {

TEST(BalloonGeometry, HalvesRoundToTheEvenNeighbour) {
  const struct {
    int span;
    int half;
  } cases[] = {{0, 0},   {1, 0},     {2, 1},  {3, 2},   {5, 2},   {7, 4},
               {21, 10}, {574, 287}, {-1, 0}, {-3, -2}, {-5, -2}, {-7, -4}};
  for (const auto& c : cases) EXPECT_EQ(HalfToEven(c.span), c.half) << c.span;
}

struct PointRow {
  TBalloonHoriz horizontal;
  TBalloonVert vertical;
  QPoint point;
  TBalloonPosition position;
};

TEST(BalloonGeometry, EveryControlPointHasItsPointAndSide) {
  // Left 100, top 200, right 675, bottom 221: 575 and 21 wide halve to
  // 287.5 -> 288 and 10.5 -> 10.
  const QRect control(100, 200, 575, 21);
  const PointRow rows[] = {
      {blnLeft, blnTop, {100, 200}, blnArrowTopLeft},
      {blnLeft, blnCenter, {100, 210}, blnArrowBottomLeft},
      {blnLeft, blnBottom, {100, 221}, blnArrowBottomLeft},
      {blnMiddle, blnTop, {388, 200}, blnArrowTopLeft},
      {blnMiddle, blnCenter, {388, 210}, blnArrowBottomRight},
      {blnMiddle, blnBottom, {388, 221}, blnArrowBottomRight},
      {blnRight, blnTop, {675, 200}, blnArrowTopRight},
      {blnRight, blnCenter, {675, 210}, blnArrowTopRight},
      {blnRight, blnBottom, {675, 221}, blnArrowBottomRight},
  };
  for (const PointRow& row : rows) {
    SCOPED_TRACE(testing::Message() << int{row.horizontal} << "," << int{row.vertical});
    EXPECT_EQ(BalloonPoint(control, row.horizontal, row.vertical), row.point);
    EXPECT_EQ(BalloonPositionFor(row.horizontal, row.vertical), row.position);
  }
  // A rectangle of no size (the mouse pointer) is its own point everywhere.
  EXPECT_EQ(BalloonPoint(QRect(40, 50, 0, 0), blnMiddle, blnCenter), QPoint(40, 50));
}

struct LayoutRow {
  TBalloonPosition position;
  QSize title;
  QSize text;
  TBalloonLayout expected;
};

TEST(BalloonGeometry, LayoutMovesDownForAPointerOnTopAndTakesTheWiderLabel) {
  const LayoutRow rows[] = {
      // Pointer below: text under the title plus 8, 30 spare below it.
      {blnArrowTopRight, {100, 13}, {150, 60}, {{34, 12}, {10, 33}, {10, 10}, {170, 123}}},
      // Pointer on top: everything 20 lower, 10 spare below.
      {blnArrowBottomLeft, {100, 13}, {150, 60}, {{34, 32}, {10, 53}, {10, 30}, {170, 123}}},
      {blnArrowBottomRight, {100, 15}, {150, 60}, {{34, 32}, {10, 55}, {10, 30}, {170, 125}}},
      // A title wider than every text line sets the width: 34 + 300 + 10.
      {blnArrowTopRight, {300, 13}, {150, 60}, {{34, 12}, {10, 33}, {10, 10}, {344, 123}}},
  };
  for (const LayoutRow& row : rows) {
    SCOPED_TRACE(testing::Message() << int{row.position} << " title " << row.title.width());
    const TBalloonLayout got = LayOutBalloon(row.position, row.title, row.text);
    EXPECT_EQ(got.Title, row.expected.Title);
    EXPECT_EQ(got.Text, row.expected.Text);
    EXPECT_EQ(got.Icon, row.expected.Icon);
    EXPECT_EQ(got.Window, row.expected.Window);
  }
}

struct ShapeRow {
  TBalloonPosition position;
  QPoint origin;      // for the tip at (500, 400) and a 200 x 120 window
  QPoint tip;         // the pointer's tip in the window
  QPoint tip_pixel;   // the pointer's pixel next to its tip
  QPoint beyond_tip;  // just past the tip, outside
  QRect rectangle;    // the rounded rectangle's bounds
};

TEST(BalloonGeometry, PlacementPutsThePointerTipOnThePointAndTheShapeHoldsIt) {
  const QPoint tip(500, 400);
  const QSize window(200, 120);
  const ShapeRow rows[] = {
      {blnArrowTopLeft, {320, 280}, {180, 120}, {179, 119}, {181, 119}, {0, 0, 200, 102}},
      {blnArrowTopRight, {480, 280}, {20, 120}, {20, 119}, {19, 119}, {0, 0, 200, 102}},
      {blnArrowBottomLeft, {320, 398}, {180, 2}, {179, 3}, {179, 1}, {0, 22, 200, 98}},
      {blnArrowBottomRight, {480, 398}, {20, 2}, {20, 3}, {20, 1}, {0, 22, 200, 98}},
  };
  for (const ShapeRow& row : rows) {
    SCOPED_TRACE(int{row.position});
    const QPoint origin = BalloonOrigin(tip, row.position, window);
    EXPECT_EQ(origin, row.origin);
    EXPECT_EQ(tip - origin, row.tip);
    EXPECT_TRUE(BalloonPointer(row.position, window).contains(row.tip));

    const QRegion shape = BalloonShape(row.position, window);
    EXPECT_TRUE(shape.contains(row.tip_pixel));
    EXPECT_FALSE(shape.contains(row.beyond_tip));
    const QRect& r = row.rectangle;
    EXPECT_TRUE(shape.contains(r.center()));
    for (const QPoint corner : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()}) {
      EXPECT_FALSE(shape.contains(corner)) << corner.x() << "," << corner.y();
    }
    // The corners are cut along the ellipse only: a pixel further in stays.
    EXPECT_TRUE(shape.contains(r.topLeft() + QPoint(2, 0)));
    EXPECT_TRUE(shape.contains(r.topLeft() + QPoint(0, 2)));
    EXPECT_FALSE(shape.contains(r.topLeft() + QPoint(0, r.top() == 0 ? r.height() : -1)));
  }
}

TEST(BalloonGeometry, FrameIsTheShapesOnePixelEdge) {
  const QRegion shape = BalloonShape(blnArrowTopRight, QSize(60, 70));
  const QRegion frame = ShapeFrame(shape);
  EXPECT_TRUE(frame.contains(QPoint(30, 0)));    // top edge
  EXPECT_TRUE(frame.contains(QPoint(0, 30)));    // left edge
  EXPECT_TRUE(frame.contains(QPoint(20, 60)));   // the pointer's straight side
  EXPECT_FALSE(frame.contains(QPoint(30, 1)));   // one pixel in
  EXPECT_FALSE(frame.contains(QPoint(25, 51)));  // where pointer and rectangle join
  EXPECT_TRUE((frame - shape).isEmpty());
}

TEST(BalloonBody, LinesEndInCrLfAndBlankEndsAreTrimmed) {
  const struct {
    std::vector<std::string> lines;
    const char* body;
  } cases[] = {
      {{}, ""},
      {{"one"}, "one"},
      {{"", " ", "one", "", "two", "", "\t"}, "one\r\n\r\ntwo"},
      {{"  [ Ok ]  "}, "[ Ok ]"},
      {{"a", "                [ Ok ]"}, "a\r\n                [ Ok ]"},
      {{"\x01\x1f x", "y \x7f"}, "x\r\ny \x7f"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BalloonBodyText(c.lines), c.body);
  }
}

}  // namespace
}  // namespace movrek::app
