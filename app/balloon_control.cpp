#include "app/balloon_control.h"

#include <QEvent>

#include "app/balloon.h"
#include "app/text_edit_lines.h"
#include "text/ascii_text.h"
#include "text/text_lines.h"

namespace movrek::app {

std::string BalloonBodyText(const std::vector<std::string>& lines) {
  return std::string(TrimControls(JoinLines(lines)));
}

TBalloonControl::TBalloonControl(QWidget* owner) : QObject(owner), owner_(owner) {
  if (owner_ != nullptr) {
    owner_->installEventFilter(this);
  }
}

TBalloon* TBalloonControl::Show() {
  // Parented to the owner, so one left open is destroyed with it.
  auto* balloon = new TBalloon(owner_);
  balloon->ShowAtControl(Control.data(), Horizontal, Vertical, FromBytes(Title),
                         FromBytes(BalloonBodyText(Text)), BalloonType, Duration);
  return balloon;
}

bool TBalloonControl::eventFilter(QObject* watched, QEvent* event) {
  // Balloons are windows of their own: closing the owner does not hide them.
  if (watched == owner_ && event->type() == QEvent::Close) {
    for (TBalloon* balloon : owner_->findChildren<TBalloon*>(Qt::FindDirectChildrenOnly)) {
      balloon->close();
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace movrek::app
