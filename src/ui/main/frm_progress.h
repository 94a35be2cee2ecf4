// The progress of a batch job, as a strip along the bottom of the main
// window (never over the file list): a label and the time, a bar, "File n
// of m" and Cancel. Cancel (or Escape, or closing the strip) only sets
// cancel_requested; the job hides the strip itself.
#pragma once
#include <QFrame>

class QLabel;
class QProgressBar;
class QPushButton;

namespace nx {

class frmProgress final : public QFrame {
  Q_OBJECT
 public:
  explicit frmProgress(QWidget* owner);

  // Shows the strip for a new job.
  void start();
  void set_label(const QString& text);
  void set_percent(int percent);
  // "File 22 of 560" beside Cancel.
  void set_file(int file, int files);
  // The time passed and the estimate of what is left, beside the label.
  void set_time(const QString& text);
  // Hides the strip (the job's ending).
  void finish();

  QLabel* lblStatus;
  QLabel* lblFile;
  QLabel* lblTime;
  QProgressBar* prgJob;
  QPushButton* cmdCancel;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void cmdCancel_Click();
  void show_label();
  QString label_;
  bool finishing_ = false;
};

}  // namespace nx
