// Where the window's controls go when the window is made larger than the
// size they were laid out for: each edge of a control stays at its designed
// distance from the near edge of the client area, or follows the far edge,
// or follows the middle (half the growth), so the two lists share the extra
// height and everything beside and below them moves along.
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace movrek::app {

class TFormAnchors {
 public:
  // How far an edge moves when the client area grows by d pixels.
  enum TEdge {
    Near,    // not at all
    Middle,  // by d / 2 (rounded down)
    Far,     // by d
  };

  explicit TFormAnchors(QSize designed) : designed_(designed) {}

  // The control as it stands now is its designed place and size.
  void Stretch(QWidget* control, TEdge left, TEdge right, TEdge top, TEdge bottom);
  // A control that sizes itself (a label fitting its caption): only its
  // top-left corner is placed.
  void Move(QWidget* control, TEdge left, TEdge top);

  // Places every control for a client area of `client`; at the designed size
  // each is where it was laid out.
  void Place(QSize client) const;

 private:
  struct TAnchor {
    QWidget* Control;
    QRect Designed;
    TEdge Left, Right, Top, Bottom;
    bool Sized;
  };
  std::vector<TAnchor> anchors_;
  QSize designed_;
};

}  // namespace movrek::app
