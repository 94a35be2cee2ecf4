#include "ui/main/pictures.h"

#include <QApplication>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPalette>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace nx::pictures {
namespace {

const QColor deep(24, 64, 120);
const QColor mid(52, 120, 196);
const QColor light(214, 232, 250);
const QColor accent(255, 186, 48);

// Draws a picture at whatever size an icon is asked for.
class drawn_icon final : public QIconEngine {
 public:
  using draw_fn = void (*)(QPainter&, qreal size, const QColor& ink);
  explicit drawn_icon(draw_fn draw) : draw_(draw) {}

  void paint(QPainter* p, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    const qreal s = std::min(rect.width(), rect.height());
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->translate(rect.x() + (rect.width() - s) / 2, rect.y() + (rect.height() - s) / 2);
    if (mode == QIcon::Disabled) p->setOpacity(0.45);
    const QPalette palette = QApplication::palette();
    draw_(*p, s, palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
                               QPalette::ButtonText));
    p->restore();
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter g(&pm);
    paint(&g, QRect(QPoint(), size), mode, state);
    return pm;
  }

  QIconEngine* clone() const override { return new drawn_icon(draw_); }

 private:
  draw_fn draw_;
};

QIcon icon_from(drawn_icon::draw_fn draw) { return QIcon(new drawn_icon(draw)); }

// An opaque picture to fill, at the screens' pixel ratio.
QPixmap opaque(int w, int h) {
  const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
  QPixmap p(std::max(1, int(std::ceil(w * ratio))), std::max(1, int(std::ceil(h * ratio))));
  p.setDevicePixelRatio(ratio);
  return p;
}

void draw_page(QPainter& g, const QRectF& r) {
  // A sheet with a folded corner and three lines of "text".
  qreal fold = r.width() * 0.3;
  QPainterPath sheet;
  sheet.moveTo(r.left(), r.top());
  sheet.lineTo(r.right() - fold, r.top());
  sheet.lineTo(r.right(), r.top() + fold);
  sheet.lineTo(r.right(), r.bottom());
  sheet.lineTo(r.left(), r.bottom());
  sheet.closeSubpath();
  g.setPen(QPen(deep, std::max<qreal>(1.0, r.width() / 16)));
  g.setBrush(Qt::white);
  g.drawPath(sheet);
  QPainterPath corner;
  corner.moveTo(r.right() - fold, r.top());
  corner.lineTo(r.right() - fold, r.top() + fold);
  corner.lineTo(r.right(), r.top() + fold);
  g.setBrush(light);
  g.drawPath(corner);
  g.setPen(QPen(mid, std::max<qreal>(1.0, r.height() / 14), Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 3; ++i) {
    qreal y = r.top() + r.height() * (0.45 + 0.17 * i);
    qreal right = r.right() - r.width() * (i == 2 ? 0.45 : 0.2);
    g.drawLine(QPointF(r.left() + r.width() * 0.2, y), QPointF(right, y));
  }
}

void draw_sparkle(QPainter& g, QPointF c, qreal radius) {
  QPainterPath star;
  for (int i = 0; i < 8; ++i) {
    qreal a = i * M_PI / 4 - M_PI / 2;
    qreal rr = (i % 2 == 0) ? radius : radius * 0.35;
    QPointF p(c.x() + rr * std::cos(a), c.y() + rr * std::sin(a));
    if (i == 0)
      star.moveTo(p);
    else
      star.lineTo(p);
  }
  star.closeSubpath();
  g.setPen(QPen(QColor(160, 100, 0), 1));
  g.setBrush(accent);
  g.drawPath(star);
}

}  // namespace

QPixmap canvas(int width, int height) {
  QPixmap p = opaque(width, height);
  p.fill(Qt::transparent);
  return p;
}

QPixmap logo(int size) {
  QPixmap p = canvas(size, size);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  draw_page(g, QRectF(size * 0.12, size * 0.06, size * 0.62, size * 0.84));
  draw_sparkle(g, QPointF(size * 0.74, size * 0.72), size * 0.24);
  return p;
}

QPixmap banner(int width, int height) {
  QPixmap p = opaque(width, height);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  QLinearGradient grad(0, 0, width, 0);
  grad.setColorAt(0, deep);
  grad.setColorAt(0.6, mid);
  grad.setColorAt(1, QColor(120, 176, 232));
  g.fillRect(QRect(0, 0, width, height), grad);
  // Soft waves across the banner.
  g.setPen(Qt::NoPen);
  for (int i = 0; i < 3; ++i) {
    QPainterPath wave;
    qreal base = height * (0.55 + 0.15 * i);
    wave.moveTo(0, height);
    wave.lineTo(0, base);
    for (int x = 0; x <= width; x += 8)
      wave.lineTo(x, base + std::sin(x / (60.0 + 20 * i) + i) * height * 0.08);
    wave.lineTo(width, height);
    wave.closeSubpath();
    g.setBrush(QColor(255, 255, 255, 22 + 10 * i));
    g.drawPath(wave);
  }
  // The name; the logo sits left of it on its own label.
  int logo_size = 32;
  QFont f = g.font();
  f.setPixelSize(std::max(8, height * 2 / 5));
  f.setBold(true);
  g.setFont(f);
  g.setPen(Qt::white);
  QRect text_rect(logo_size + 28, 0, width, height);
  g.drawText(text_rect, Qt::AlignVCenter | Qt::AlignLeft, "Nubrix 3");
  QFontMetrics fm(f);
  int name_width = fm.horizontalAdvance("Nubrix 3");
  QFont small = f;
  small.setBold(false);
  small.setPixelSize(std::max(7, height / 5));
  g.setFont(small);
  g.setPen(light);
  g.drawText(QRect(text_rect.left() + name_width + 14, 0, width, height),
             Qt::AlignVCenter | Qt::AlignLeft, "clean HTML from your documents");
  return p;
}

QIcon mode_icon() {
  return icon_from([](QPainter& g, qreal s, const QColor&) {
    // A wand over a step path: the wizard.
    g.setPen(QPen(deep, s / 10, Qt::SolidLine, Qt::RoundCap));
    g.drawLine(QPointF(s * 0.2, s * 0.85), QPointF(s * 0.68, s * 0.35));
    draw_sparkle(g, QPointF(s * 0.72, s * 0.3), s * 0.26);
    g.setPen(Qt::NoPen);
    g.setBrush(mid);
    for (int i = 0; i < 3; ++i)
      g.drawEllipse(QPointF(s * (0.15 + 0.12 * i), s * (0.45 - 0.1 * i)), s * 0.05, s * 0.05);
  });
}

QIcon settings_icon() {
  return icon_from([](QPainter& g, qreal s, const QColor&) {
    QPointF c(s / 2, s / 2);
    g.setPen(Qt::NoPen);
    g.setBrush(deep);
    for (int i = 0; i < 8; ++i) {
      g.save();
      g.translate(c);
      g.rotate(i * 45);
      g.drawRoundedRect(QRectF(-s * 0.08, -s * 0.46, s * 0.16, s * 0.2), s * 0.03, s * 0.03);
      g.restore();
    }
    g.drawEllipse(c, s * 0.32, s * 0.32);
    g.setBrush(light);
    g.drawEllipse(c, s * 0.13, s * 0.13);
  });
}

QIcon help_icon() {
  return icon_from([](QPainter& g, qreal s, const QColor&) {
    g.setPen(QPen(deep, std::max<qreal>(1, s / 16)));
    g.setBrush(mid);
    g.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
    QFont f = g.font();
    f.setPixelSize(std::max(6, int(s * 0.66)));
    f.setBold(true);
    g.setFont(f);
    g.setPen(Qt::white);
    g.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, "?");
  });
}

QIcon arrow_icon() {
  return icon_from([](QPainter& g, qreal s, const QColor& ink) {
    QPainterPath tri;
    tri.moveTo(s * 0.2, s * 0.38);
    tri.lineTo(s * 0.8, s * 0.38);
    tri.lineTo(s * 0.5, s * 0.7);
    tri.closeSubpath();
    g.setPen(Qt::NoPen);
    g.setBrush(ink);
    g.drawPath(tri);
  });
}

QPixmap wizard_side(int width, int height) {
  QPixmap p = opaque(width, height);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  QLinearGradient grad(0, 0, 0, height);
  grad.setColorAt(0, mid);
  grad.setColorAt(1, deep);
  g.fillRect(QRect(0, 0, width, height), grad);
  int s = std::min(width - 16, 96);
  if (s > 8) {
    // A document turning into a clean page.
    draw_page(g, QRectF((width - s) / 2.0, height * 0.12, s * 0.8, s));
    draw_sparkle(g, QPointF(width / 2.0 + s * 0.35, height * 0.12 + s * 0.85), s * 0.2);
  }
  return p;
}

}  // namespace nx::pictures
