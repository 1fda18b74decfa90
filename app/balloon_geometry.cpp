#include "app/balloon_geometry.h"

#include <algorithm>
#include <cmath>

namespace movrek::app {

namespace {

constexpr int kTitleLeft = 34;
constexpr int kTitleTop = 12;
constexpr int kTextLeft = 10;
constexpr int kTextGap = 8;
constexpr int kIconLeft = 10;
constexpr int kIconTop = 10;
constexpr int kRightMargin = 10;
constexpr int kBottomMarginPointerOnTop = 10;
constexpr int kBottomMarginPointerBelow = 30;
// The rectangle stops 18 pixels above the window's bottom (or starts 22 below
// its top), so the pointer's base runs 2 pixels inside it and the two shapes
// join without a seam.
constexpr int kRectangleEndAbove = 18;
constexpr int kRectangleStartBelow = 22;
// The tip of a pointer on top is 2 pixels below the window's top.
constexpr int kTipBelowTop = 2;

// A rectangle with corners cut along an ellipse of `ellipse` x `ellipse`
// pixels: a pixel belongs to it when its centre lies inside the ellipse.
QRegion RoundedRectangle(const QRect& rect, int ellipse) {
  const double radius = ellipse / 2.0;
  const int corner_rows = std::min(static_cast<int>(std::ceil(radius)), rect.height() / 2);
  QRegion region(rect.adjusted(0, corner_rows, 0, -corner_rows));
  for (int row = 0; row < corner_rows; ++row) {
    const double dy = radius - (row + 0.5);
    const double dx = radius * std::sqrt(std::max(0.0, 1.0 - (dy * dy) / (radius * radius)));
    const int inset = std::max(0, static_cast<int>(std::ceil(radius - dx - 0.5)));
    const int width = rect.width() - 2 * inset;
    if (width <= 0) {
      continue;
    }
    region += QRect(rect.left() + inset, rect.top() + row, width, 1);
    region += QRect(rect.left() + inset, rect.bottom() - row, width, 1);
  }
  return region;
}

}  // namespace

int HalfToEven(int span) {
  int half = span / 2;
  if (span % 2 != 0) {
    if (span < 0) {
      --half;  // floor, as for positive spans
    }
    if (half % 2 != 0) {
      ++half;  // an odd floor goes up to its even neighbour
    }
  }
  return half;
}

QPoint BalloonPoint(const QRect& control, TBalloonHoriz horizontal, TBalloonVert vertical) {
  const int left = control.x();
  const int top = control.y();
  const int right = control.x() + control.width();
  const int bottom = control.y() + control.height();
  int x = left;
  if (horizontal == blnRight) {
    x = right;
  }
  if (horizontal == blnMiddle) {
    x = left + HalfToEven(right - left);
  }
  int y = top;
  if (vertical == blnBottom) {
    y = bottom;
  }
  if (vertical == blnCenter) {
    y = top + HalfToEven(bottom - top);
  }
  return {x, y};
}

TBalloonPosition BalloonPositionFor(TBalloonHoriz horizontal, TBalloonVert vertical) {
  switch (horizontal) {
    case blnLeft:
      return vertical == blnTop ? blnArrowTopLeft : blnArrowBottomLeft;
    case blnMiddle:
      return vertical == blnTop ? blnArrowTopLeft : blnArrowBottomRight;
    case blnRight:
      return vertical == blnBottom ? blnArrowBottomRight : blnArrowTopRight;
  }
  return blnArrowTopLeft;
}

bool PointerOnTop(TBalloonPosition position) {
  return position == blnArrowBottomLeft || position == blnArrowBottomRight;
}

TBalloonLayout LayOutBalloon(TBalloonPosition position, QSize title, QSize text) {
  const int shift = PointerOnTop(position) ? kBalloonPointerSize : 0;
  TBalloonLayout layout;
  layout.Title = {kTitleLeft, kTitleTop + shift};
  layout.Text = {kTextLeft, layout.Title.y() + title.height() + kTextGap};
  layout.Icon = {kIconLeft, kIconTop + shift};
  const int text_bottom = layout.Text.y() + text.height();
  const int width =
      std::max(layout.Title.x() + title.width(), layout.Text.x() + text.width()) + kRightMargin;
  const int height =
      text_bottom + (shift != 0 ? kBottomMarginPointerOnTop : kBottomMarginPointerBelow);
  layout.Window = {width, height};
  return layout;
}

QPoint BalloonOrigin(QPoint tip, TBalloonPosition position, QSize window) {
  const int w = window.width();
  const int h = window.height();
  switch (position) {
    case blnArrowTopLeft:
      return {tip.x() - w + kBalloonPointerSize, tip.y() - h};
    case blnArrowTopRight:
      return {tip.x() - kBalloonPointerSize, tip.y() - h};
    case blnArrowBottomLeft:
      return {tip.x() - w + kBalloonPointerSize, tip.y() - kTipBelowTop};
    case blnArrowBottomRight:
      return {tip.x() - kBalloonPointerSize, tip.y() - kTipBelowTop};
  }
  return tip;
}

QPolygon BalloonPointer(TBalloonPosition position, QSize window) {
  const int w = window.width();
  const int h = window.height();
  constexpr int p = kBalloonPointerSize;
  constexpr int base = kRectangleStartBelow;
  switch (position) {
    case blnArrowTopLeft:
      return QPolygon({{w - 2 * p, h - p}, {w - p, h}, {w - p, h - p}});
    case blnArrowTopRight:
      return QPolygon({{p, h - p}, {p, h}, {2 * p, h - p}});
    case blnArrowBottomLeft:
      return QPolygon({{w - p, kTipBelowTop}, {w - p, base}, {w - 2 * p, base}});
    case blnArrowBottomRight:
      return QPolygon({{p, kTipBelowTop}, {p, base}, {2 * p, base}});
  }
  return {};
}

QRegion BalloonShape(TBalloonPosition position, QSize window) {
  const int w = window.width();
  const int h = window.height();
  const QRect body = PointerOnTop(position)
                         ? QRect(QPoint(0, kRectangleStartBelow), QPoint(w - 1, h - 1))
                         : QRect(QPoint(0, 0), QPoint(w - 1, h - kRectangleEndAbove - 1));
  return RoundedRectangle(body, kBalloonCornerEllipse) +
         QRegion(BalloonPointer(position, window), Qt::WindingFill);
}

QRegion ShapeFrame(const QRegion& shape) {
  // What stays of the shape when every pixel must also have all four
  // neighbours in it is the inside; the rest is the edge.
  const QRegion inside = shape & shape.translated(1, 0) & shape.translated(-1, 0) &
                         shape.translated(0, 1) & shape.translated(0, -1);
  return shape - inside;
}

}  // namespace movrek::app
