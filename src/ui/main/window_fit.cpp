#include "ui/main/window_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QWidget>

namespace nx {
namespace {

// The window manager's frame before a window has one to measure: a title
// bar and thin borders, in logical pixels at any scale.
constexpr QSize frame_allowance(12, 40);

}  // namespace

QSize screen_room(const QWidget* window) {
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return {4096, 4096};
  QSize frame = frame_allowance;
  if (window->isVisible() && window->isWindow()) {
    const QSize measured = window->frameGeometry().size() - window->geometry().size();
    if (measured.width() > 0 || measured.height() > 0) frame = measured;
  }
  return screen->availableGeometry().size() - frame;
}

void fit_to_screen(QWidget* window, QSize wanted, QScrollArea* area) {
  const QSize room = screen_room(window);
  QSize needed = window->minimumSizeHint().expandedTo(QSize(0, 0));
  if (area && area->widget())
    needed += (area->widget()->minimumSizeHint() - area->minimumSizeHint()).expandedTo(QSize(0, 0));
  const QSize minimum = needed.boundedTo(room);
  window->setMinimumSize(minimum);
  const QSize size = wanted.expandedTo(minimum).boundedTo(room);
  window->resize(size);
  if (!window->isVisible()) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen) {
      const QRect free = screen->availableGeometry();
      window->move(free.center() - QPoint(size.width() / 2, size.height() / 2 + frame_allowance.height() / 2));
      if (window->y() < free.top()) window->move(window->x(), free.top());
      if (window->x() < free.left()) window->move(free.left(), window->y());
    }
  }
}

QScrollArea* scroll_area_for(QWidget* content, QWidget* parent) {
  auto* area = new QScrollArea(parent);
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  area->setWidget(content);
  // The content's own background shows through.
  area->setBackgroundRole(QPalette::Window);
  return area;
}

}  // namespace nx
