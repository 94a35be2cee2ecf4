// The splash window shown over the main window at start-up: the program's
// picture and, while the internal converter is in force, its credit line.
// It closes itself after an interval or at once on a double-click.
#pragma once
#include <QDialog>
#include <QPixmap>

class QLabel;
class QTimer;

namespace nx {

class frmSplash final : public QDialog {
  Q_OBJECT
 public:
  static constexpr int width = 400;
  static constexpr int height = 250;
  static constexpr int default_interval_ms = 2000;

  // The timer starts at once; interval_ms is for tests.
  explicit frmSplash(QWidget* owner = nullptr, int interval_ms = default_interval_ms);

  QLabel* picture;
  QLabel* lblCredit;
  QTimer* tmrClose;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;

 private:
  void Form_Load();
  void tmrClose_Timer();
  void Form_Click();
  void Form_DblClick();
};

// The splash picture, drawn at run time.
QPixmap splash_picture();
// Shows the splash modally over owner; returns when it has closed.
void show_splash(QWidget* owner);

}  // namespace nx
