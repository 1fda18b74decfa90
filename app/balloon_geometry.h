// Where a balloon points, where it lies, how large it is and what shape it
// has. Plain functions of numbers, so every rule can be checked without a
// display; TBalloon applies them to its window.
#pragma once

#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <cstdint>

namespace movrek::app {

enum TBalloonType : std::uint8_t { blnInfo, blnError, blnWarning };
enum TBalloonHoriz : std::uint8_t { blnLeft, blnMiddle, blnRight };
enum TBalloonVert : std::uint8_t { blnTop, blnCenter, blnBottom };
// Where the balloon lies relative to the point it points at: blnArrowTopLeft
// is above and to the left of it.
enum TBalloonPosition : std::uint8_t {
  blnArrowTopLeft,
  blnArrowTopRight,
  blnArrowBottomLeft,
  blnArrowBottomRight
};

// The pointer is a triangle this wide and high.
inline constexpr int kBalloonPointerSize = 20;
// Width and height of the ellipse that rounds the rectangle's corners.
inline constexpr int kBalloonCornerEllipse = 7;

// Half of `span`, a half going to the even neighbour (5 -> 2, 7 -> 4).
int HalfToEven(int span);

// The point of a control's rectangle the balloon points at. `control` is in
// screen coordinates; its right and bottom edges are x + width and
// y + height, the first column and row outside it.
QPoint BalloonPoint(const QRect& control, TBalloonHoriz horizontal, TBalloonVert vertical);

// Which side of the point the balloon takes for a choice of control point.
TBalloonPosition BalloonPositionFor(TBalloonHoriz horizontal, TBalloonVert vertical);

// The pointer leaves the top edge for the positions below the point.
bool PointerOnTop(TBalloonPosition position);

// Places of the parts and the window's size, all in window coordinates,
// given the sizes the two labels take for their texts.
struct TBalloonLayout {
  QPoint Title;
  QPoint Text;
  QPoint Icon;
  QSize Window;
};
TBalloonLayout LayOutBalloon(TBalloonPosition position, QSize title, QSize text);

// The window's top-left corner in screen coordinates that puts the pointer
// tip on `tip`.
QPoint BalloonOrigin(QPoint tip, TBalloonPosition position, QSize window);

// The pointer triangle in window coordinates. Its tip is the corner away
// from the rectangle: (W - 20, H) or (20, H) below it, (W - 20, 2) or
// (20, 2) above it.
QPolygon BalloonPointer(TBalloonPosition position, QSize window);

// The window's shape: the rounded rectangle joined with the pointer.
QRegion BalloonShape(TBalloonPosition position, QSize window);

// The pixels of `shape` on its edge, one pixel wide, inside the shape.
QRegion ShapeFrame(const QRegion& shape);

}  // namespace movrek::app
