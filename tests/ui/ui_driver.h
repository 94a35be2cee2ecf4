// Driving Qt windows in tests: one application object (offscreen unless a
// platform is set), mouse input through Qt Test, answers for modal windows
// opened by exec(), and the pictures scripts/screenshots asks for.
#pragma once
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFont>
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

// NUBRIX_TEST_FONT_SIZE (points) stands in for a desktop's larger font:
// GTK desktops use 11 points where Qt alone uses 9.
inline QApplication& qt_app() {
  static int argc = 1;
  static char name[] = "nubrix";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (auto* running = qobject_cast<QApplication*>(QApplication::instance())) return running;
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    auto* made = new QApplication(argc, argv);
    if (const int points = qEnvironmentVariableIntValue("NUBRIX_TEST_FONT_SIZE"); points > 0) {
      QFont font = QApplication::font();
      font.setPointSize(points);
      QApplication::setFont(font);
    }
    return made;
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

// A dark desktop's colours: light text on dark panes, greyed text where
// disabled.
inline void apply_screenshot_look() {
  const char* dark = std::getenv("NUBRIX_SCREENSHOT_DARK");
  if (!dark || std::string(dark) != "1") return;
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  QPalette p;
  const QColor pane(53, 53, 56), field(36, 36, 38), text(238, 238, 236), greyed(128, 128, 128);
  for (auto [role, colour] : {std::pair{QPalette::Window, pane}, {QPalette::Button, pane}, {QPalette::Base, field},
                              {QPalette::AlternateBase, pane}, {QPalette::WindowText, text},
                              {QPalette::ButtonText, text}, {QPalette::Text, text}, {QPalette::BrightText, text},
                              {QPalette::ToolTipBase, field}, {QPalette::ToolTipText, text},
                              {QPalette::Highlight, QColor(53, 132, 228)}, {QPalette::HighlightedText, text},
                              {QPalette::PlaceholderText, greyed}, {QPalette::Link, QColor(120, 174, 237)}})
    p.setColor(role, colour);
  for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    p.setColor(QPalette::Disabled, role, greyed);
  p.setColor(QPalette::Disabled, QPalette::Base, pane);
  QApplication::setPalette(p);
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

#include <QLabel>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace nx::test {

// The screen the window opens on, as the window sees it.
inline QRect free_area(const QWidget* w) {
  return (w->screen() ? w->screen() : QGuiApplication::primaryScreen())->availableGeometry();
}

// A window fits its screen: it is no larger than the free area, and every
// visible button shows its whole text, inside the window and, in a scroll
// area, inside its view unless the content is larger than the view.
inline void expect_fits(QWidget* window, const std::string& what) {
  QApplication::processEvents();
  const QRect area = free_area(window);
  EXPECT_LE(window->width(), area.width()) << what;
  EXPECT_LE(window->height(), area.height()) << what;
  EXPECT_LE(window->minimumWidth(), area.width()) << what;
  EXPECT_LE(window->minimumHeight(), area.height()) << what;
  for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
    if (!b->isVisibleTo(window) || b->inherits("QToolButton")) continue;
    const std::string name = what + ": " + b->objectName().toStdString() + " \"" + b->text().toStdString() + "\"";
    EXPECT_GE(b->width(), b->minimumSizeHint().width()) << name << " is cut";
    // Inside a scroll area a button may lie beyond the view: it scrolls in.
    bool scrolls = false;
    for (QWidget* up = b->parentWidget(); up && up != window; up = up->parentWidget())
      scrolls |= qobject_cast<QScrollArea*>(up) != nullptr;
    const QRect at(b->mapTo(window, QPoint()), b->size());
    if (!scrolls) {
      EXPECT_TRUE(window->rect().contains(at)) << name << " lies outside the window";
    }
  }
  for (QLabel* l : window->findChildren<QLabel*>()) {
    if (!l->isVisibleTo(window) || l->wordWrap() || !l->pixmap().isNull() || l->text().isEmpty()) continue;
    if (l->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored) continue;  // elides on purpose
    EXPECT_GE(l->width(), l->minimumSizeHint().width()) << what << ": " << l->objectName().toStdString() << " is cut";
  }
}

// The Alt+letter of a caption ("&Add..." -> 'A'), 0 when it has none.
inline QChar mnemonic_of(const QString& text) {
  for (int i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return text[i + 1].toUpper();
  }
  return QChar();
}

// Every visible button has a key (Alt+letter, or a shortcut of its own),
// and no key serves two of them or a label's field.
inline void expect_unique_keys(QWidget* window, const std::string& what,
                               const std::set<QString>& keyless = {}) {
  std::map<QString, std::string> taken;
  auto take = [&](const QString& key, const std::string& name) {
    auto [at, fresh] = taken.emplace(key, name);
    EXPECT_TRUE(fresh) << what << ": " << key.toStdString() << " serves " << at->second << " and " << name;
  };
  for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
    if (!b->isVisibleTo(window) || b->window() != window) continue;
    const std::string name = b->objectName().toStdString();
    const QChar letter = mnemonic_of(b->text());
    if (!letter.isNull()) take(QString("Alt+") + letter, name);
    else if (!b->shortcut().isEmpty()) take(b->shortcut().toString(), name);
    else EXPECT_TRUE(keyless.count(b->objectName())) << what << ": " << name << " has no key";
  }
  for (QLabel* l : window->findChildren<QLabel*>()) {
    if (!l->isVisibleTo(window) || !l->buddy()) continue;
    const QChar letter = mnemonic_of(l->text());
    if (!letter.isNull()) take(QString("Alt+") + letter, l->objectName().toStdString());
  }
}

}  // namespace nx::test
