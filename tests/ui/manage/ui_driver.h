// Driving Qt windows in tests: one application object, mouse and keyboard
// input through Qt Test, and answers for modal dialogs opened by exec().
#pragma once
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <ostream>
#include <string>

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace nx::test {

inline QApplication& qt_app() {
  static int argc = 1;
  static char name[] = "nubrix-tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = QApplication::instance()
                                 ? static_cast<QApplication*>(QApplication::instance())
                                 : new QApplication(argc, argv);
  return *app;
}

// Clicks a button; a check box is clicked on its box and caption, which
// may not cover the middle of a stretched widget.
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
  const QRect r = list->visualItemRect(list->item(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, r.center());
}

inline QStringList lines_of(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

inline QStringList qlist(std::initializer_list<const char*> items) {
  QStringList out;
  for (auto* s : items) out << QString::fromUtf8(s);
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

}  // namespace nx::test
