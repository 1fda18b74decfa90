#include "app/form_anchors.h"

#include <QWidget>

namespace movrek::app {

namespace {

int Shift(TFormAnchors::TEdge edge, int growth) {
  switch (edge) {
    case TFormAnchors::Near:
      return 0;
    case TFormAnchors::Middle:
      return growth / 2;
    case TFormAnchors::Far:
      return growth;
  }
  return 0;
}

}  // namespace

void TFormAnchors::Stretch(QWidget* control, TEdge left, TEdge right, TEdge top, TEdge bottom) {
  anchors_.push_back({control, control->geometry(), left, right, top, bottom, true});
}

void TFormAnchors::Move(QWidget* control, TEdge left, TEdge top) {
  anchors_.push_back({control, control->geometry(), left, left, top, top, false});
}

void TFormAnchors::Place(QSize client) const {
  // Never smaller than designed: the window's minimum size.
  const int wider = std::max(0, client.width() - designed_.width());
  const int taller = std::max(0, client.height() - designed_.height());
  for (const TAnchor& anchor : anchors_) {
    const QRect& at = anchor.Designed;
    const QPoint top_left(at.left() + Shift(anchor.Left, wider),
                          at.top() + Shift(anchor.Top, taller));
    if (!anchor.Sized) {
      anchor.Control->move(top_left);
      continue;
    }
    const QPoint bottom_right(at.right() + Shift(anchor.Right, wider),
                              at.bottom() + Shift(anchor.Bottom, taller));
    anchor.Control->setGeometry(QRect(top_left, bottom_right));
  }
}

}  // namespace movrek::app
