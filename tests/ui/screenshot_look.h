// What scripts/screenshots asks the screenshot tests for: a folder
// (NUBRIX_SCREENSHOT_DIR; nothing is written without it), a suffix for the
// file names (NUBRIX_SCREENSHOT_SUFFIX, such as "-2x") and a dark palette
// (NUBRIX_SCREENSHOT_DARK=1).
#pragma once
#include <QApplication>
#include <QPalette>
#include <QPixmap>
#include <QStyleFactory>
#include <QWidget>
#include <cstdlib>
#include <string>

namespace nx::test {

inline std::string screenshot_folder() {
  const char* dir = std::getenv("NUBRIX_SCREENSHOT_DIR");
  return dir ? dir : "";
}

// A dark palette of the kind desktop themes use, on the Fusion style.
inline void apply_screenshot_look() {
  const char* dark = std::getenv("NUBRIX_SCREENSHOT_DARK");
  if (!dark || std::string(dark) != "1") return;
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  QPalette p;
  const QColor window(45, 45, 48), base(30, 30, 32), text(225, 225, 225);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, QColor(58, 58, 62));
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::Highlight, QColor(61, 142, 224));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, QColor(110, 170, 240));
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, QColor(125, 125, 125));
  QApplication::setPalette(p);
}

// Saves what w shows (or picture, when given) under name.
inline bool save_screenshot(QWidget* w, const std::string& name, QPixmap picture = {}) {
  w->show();
  QApplication::processEvents();
  if (picture.isNull()) picture = w->grab();
  const char* suffix = std::getenv("NUBRIX_SCREENSHOT_SUFFIX");
  return picture.save(
      QString::fromStdString(screenshot_folder() + "/" + name + (suffix ? suffix : "") + ".png"));
}

}  // namespace nx::test
