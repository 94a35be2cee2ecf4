// Driving Qt windows in tests: one application object (offscreen unless a
// platform is set), mouse input through Qt Test, answers for modal windows
// opened by exec(), and the pictures scripts/screenshots asks for.
#pragma once
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPalette>
#include <QPixmap>
#include <QStringList>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace nx::test {

inline QApplication& qt_app() {
  static int argc = 1;
  static char name[] = "nubrix";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (auto* running = qobject_cast<QApplication*>(QApplication::instance())) return running;
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Clicks a button; a check box is clicked on its box, which may not cover
// the middle of a stretched widget.
inline void click(QAbstractButton* button) {
  QPoint at = button->rect().center();
  if (auto* box = qobject_cast<QCheckBox*>(button)) {
    QStyleOptionButton opt;
    opt.initFrom(box);
    at = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, box).center();
  }
  QTest::mouseClick(button, Qt::LeftButton, {}, at);
}

// Clicks a line of a list the way a user does.
inline void click_row(QListWidget* list, int row, Qt::KeyboardModifiers mods = {}) {
  list->scrollToItem(list->item(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, list->visualItemRect(list->item(row)).center());
}

inline QStringList lines_of(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

// While alive, waits for a modal window of type T to open (from exec()
// called later in the same scope) and runs act on it once.
template <class T>
class on_modal {
 public:
  explicit on_modal(std::function<void(T*)> act) : act_(std::move(act)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
        timer_.stop();
        ran_ = true;
        act_(w);
      }
    });
    timer_.start();
  }
  bool ran() const { return ran_; }

 private:
  std::function<void(T*)> act_;
  QTimer timer_;
  bool ran_ = false;
};

// Screenshots: a folder (NUBRIX_SCREENSHOT_DIR; nothing is written without
// it), a suffix for the names (NUBRIX_SCREENSHOT_SUFFIX, such as "-2x") and
// a dark palette on Fusion (NUBRIX_SCREENSHOT_DARK=1).
inline std::string screenshot_folder() {
  const char* dir = std::getenv("NUBRIX_SCREENSHOT_DIR");
  return dir ? dir : "";
}

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
  return picture.save(QString::fromStdString(screenshot_folder() + "/" + name + (suffix ? suffix : "") + ".png"));
}

}  // namespace nx::test
