#include "app/balloon.h"

#include <QBitmap>
#include <QCursor>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cstdint>
#include <limits>

namespace movrek::app {

namespace {

constexpr int kIconSize = 16;
// The form's own size: 8 point at 96 pixels per inch.
constexpr double kFontPointSize = 8;

// QTimer counts in a signed 32-bit int; a longer wait is as good as never.
int HideInterval(int duration) {
  const std::int64_t ms = std::int64_t{duration} * 1000;
  return static_cast<int>(std::min<std::int64_t>(ms, std::numeric_limits<int>::max()));
}

const char* IconResource(TBalloonType type) {
  switch (type) {
    case blnError:
      return ":/ERROR";
    case blnWarning:
      return ":/WARNING";
    case blnInfo:
      break;
  }
  return ":/INFO";
}

}  // namespace

QPixmap BalloonIcon(TBalloonType type) {
  const QImage image(QLatin1String(IconResource(type)));
  if (image.isNull()) {
    return {};
  }
  QPixmap pixmap = QPixmap::fromImage(image);
  const QColor key = image.pixelColor(0, image.height() - 1);
  pixmap.setMask(pixmap.createMaskFromColor(key, Qt::MaskInColor));
  return pixmap;
}

TBalloon::TBalloon(QWidget* owner) : QWidget(owner) {
  // A tool window has no taskbar entry; with its owner as transient parent it
  // also stays above it.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                 Qt::WindowDoesNotAcceptFocus);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_DeleteOnClose);
  setFocusPolicy(Qt::NoFocus);

  QPalette colours = palette();
  colours.setColor(QPalette::Window, QToolTip::palette().color(QPalette::ToolTipBase));
  colours.setColor(QPalette::WindowText, QToolTip::palette().color(QPalette::ToolTipText));
  setPalette(colours);
  setAutoFillBackground(true);
  // Tahoma is seldom installed on Linux; the hint lets fontconfig pick the
  // nearest sans serif (DejaVu Sans on Debian).
  QFont font(QStringLiteral("Tahoma"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(kFontPointSize);
  setFont(font);

  auto label = [this](const char* name) {
    auto* made = new QLabel(this);
    made->setObjectName(QLatin1String(name));
    // A label takes no clicks, so they reach the window, which closes.
    made->setTextFormat(Qt::PlainText);
    return made;
  };
  TitleLabel = label("TitleLabel");
  QFont bold = font;
  bold.setBold(true);
  TitleLabel->setFont(bold);
  TextLabel = label("TextLabel");
  IconImage = label("IconImage");
  IconImage->resize(kIconSize, kIconSize);

  HideTimer = new QTimer(this);
  HideTimer->setObjectName(QStringLiteral("HideTimer"));
  HideTimer->setSingleShot(true);
  connect(HideTimer, &QTimer::timeout, this, &QWidget::close);
}

void TBalloon::ShowAtControl(const QWidget* control, TBalloonHoriz horizontal,
                             TBalloonVert vertical, const QString& title, const QString& text,
                             TBalloonType type, int duration) {
  const QRect area = control != nullptr ? QRect(control->mapToGlobal(QPoint(0, 0)), control->size())
                                        : QRect(QCursor::pos(), QSize(0, 0));
  const QPoint point = BalloonPoint(area, horizontal, vertical);
  ShowAt(point.x(), point.y(), BalloonPositionFor(horizontal, vertical), duration, type, text,
         title);
}

void TBalloon::ShowAt(int x, int y, TBalloonPosition position, int duration, TBalloonType type,
                      const QString& text, const QString& title) {
  TitleLabel->setText(title);
  TitleLabel->adjustSize();
  // The body's lines end in CR LF; a label breaks lines at LF only.
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"))
      .replace(QLatin1Char('\r'), QLatin1Char('\n'));
  TextLabel->setText(shown);
  TextLabel->adjustSize();
  IconImage->setPixmap(BalloonIcon(type));

  const TBalloonLayout layout = LayOutBalloon(position, TitleLabel->size(), TextLabel->size());
  TitleLabel->move(layout.Title);
  TextLabel->move(layout.Text);
  IconImage->move(layout.Icon);
  setFixedSize(layout.Window);
  move(BalloonOrigin(QPoint(x, y), position, layout.Window));

  shape_ = BalloonShape(position, layout.Window);
  setMask(shape_);
  update();
  show();

  if (duration > 0) {
    HideTimer->setInterval(HideInterval(duration));
    HideTimer->start();
  } else {
    HideTimer->stop();
  }
}

void TBalloon::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  QPainter painter(this);
  for (const QRect& edge : ShapeFrame(shape_)) {
    painter.fillRect(edge, Qt::black);
  }
}

void TBalloon::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    close();
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

void TBalloon::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange && isMinimized()) {
    // A balloon has no taskbar entry to come back from.
    showNormal();
  } else if (event->type() == QEvent::ActivationChange) {
    raise();
  }
  QWidget::changeEvent(event);
}

void TBalloon::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  raise();
}

}  // namespace movrek::app
