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

// A dark palette (light text on dark grey, derived by Qt) on Fusion.
inline void apply_screenshot_look() {
  const char* dark = std::getenv("NUBRIX_SCREENSHOT_DARK");
  if (!dark || std::string(dark) != "1") return;
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  QApplication::setPalette(QPalette(QColor(53, 53, 56)));
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
