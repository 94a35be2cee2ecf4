// The progress window of a batch job: a label, a bar, the time and Cancel. Cancel (or
// the close box, or Escape) only sets cancel_requested; the job closes the
// window itself.
#pragma once
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace nx {

class frmProgress final : public QDialog {
  Q_OBJECT
 public:
  explicit frmProgress(QWidget* owner);

  void set_label(const QString& text);
  void set_percent(int percent);
  // "File 22 of 560" beside Cancel.
  void set_file(int file, int files);
  // The time passed and the estimate of what is left, under the bar.
  void set_time(const QString& text);
  // Closes the window for good (the job's ending).
  void finish();

  QLabel* lblStatus;
  QLabel* lblFile;
  QLabel* lblTime;
  QProgressBar* prgJob;
  QPushButton* cmdCancel;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  void cmdCancel_Click();
  bool finishing_ = false;
};

}  // namespace nx
