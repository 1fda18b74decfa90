// The balloon tip as a component of the main window: it holds the settings
// and makes a new balloon each time it is asked to show one.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "app/balloon_geometry.h"

namespace movrek::app {

class TBalloon;

class TBalloonControl : public QObject {
  Q_OBJECT

 public:
  // The owner also owns the balloons; those still open close when it does.
  explicit TBalloonControl(QWidget* owner);

  // Opens a further balloon; earlier ones still open stay. Without a
  // Control it points at the mouse pointer. Returns the new balloon, which
  // frees itself when it closes.
  TBalloon* Show();

  // Settings, in the order a form stores them.
  std::vector<std::string> Text;  // the body's lines
  std::string Title;
  std::int32_t Duration = 0;  // seconds; 0 keeps the balloon until clicked
  TBalloonHoriz Horizontal = blnLeft;
  TBalloonVert Vertical = blnTop;
  // Kept for the form; showing a balloon does not use them.
  TBalloonPosition Position = blnArrowTopLeft;
  std::int32_t PixelCoordinateX = 0;
  std::int32_t PixelCoordinateY = 0;
  QPointer<QWidget> Control;  // not owned; cleared when the control goes
  TBalloonType BalloonType = blnInfo;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* owner_;
};

// The body of a balloon: every line followed by CR LF, then characters of
// codes 0 to 32 taken off both ends of the whole.
std::string BalloonBodyText(const std::vector<std::string>& lines);

}  // namespace movrek::app
