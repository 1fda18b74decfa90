// The balloon window: a borderless pop-up in the tooltip colour, shaped as a
// rounded rectangle with a pointer, holding an icon, a bold title and lines
// of text. One is made for every showing and frees itself when it closes.
#pragma once

#include <QString>
#include <QWidget>

#include "app/balloon_geometry.h"

class QLabel;
class QTimer;

namespace movrek::app {

class TBalloon : public QWidget {
  Q_OBJECT

 public:
  // `owner` (usually the main window) destroys a balloon still open when it
  // goes; the balloon is a window of its own all the same.
  explicit TBalloon(QWidget* owner);

  // Points at a control's rectangle, at the point that `horizontal` and
  // `vertical` choose; without a control, at the mouse pointer.
  void ShowAtControl(const QWidget* control, TBalloonHoriz horizontal, TBalloonVert vertical,
                     const QString& title, const QString& text, TBalloonType type, int duration);
  // Lays the balloon out, shapes it, puts its pointer tip on the screen point
  // (x, y) and shows it without taking the focus. It closes by itself after
  // `duration` seconds, never when `duration` is 0 or less.
  void ShowAt(int x, int y, TBalloonPosition position, int duration, TBalloonType type,
              const QString& text, const QString& title);

  // The window's shape as last applied, in window coordinates.
  const QRegion& Shape() const { return shape_; }

  QLabel* TitleLabel = nullptr;
  QLabel* TextLabel = nullptr;
  QLabel* IconImage = nullptr;
  QTimer* HideTimer = nullptr;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QRegion shape_;
};

// The 16 x 16 picture of a balloon type, the colour of its bottom-left pixel
// made transparent.
QPixmap BalloonIcon(TBalloonType type);

}  // namespace movrek::app
