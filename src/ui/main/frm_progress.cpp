#include "ui/main/frm_progress.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "services/flags.h"

namespace nx {

frmProgress::frmProgress(QWidget* owner) : QDialog(owner) {
  setObjectName("frmProgress");
  setWindowTitle("Progress");
  setModal(false);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  lblStatus = new QLabel("converting...", this);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setTextFormat(Qt::PlainText);
  // A long path must not widen the window.
  lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  lblStatus->setMinimumWidth(340);
  prgJob = new QProgressBar(this);
  prgJob->setObjectName("prgJob");
  prgJob->setRange(0, 100);
  prgJob->setValue(0);
  lblTime = new QLabel(this);
  lblTime->setObjectName("lblTime");
  lblTime->setTextFormat(Qt::PlainText);
  lblFile = new QLabel(this);
  lblFile->setObjectName("lblFile");
  cmdCancel = new QPushButton("Cancel", this);
  cmdCancel->setObjectName("cmdCancel");
  cmdCancel->setAutoDefault(false);

  auto* box = new QVBoxLayout(this);
  box->addWidget(lblStatus);
  box->addWidget(prgJob);
  box->addWidget(lblTime);
  auto* row = new QHBoxLayout;
  row->addWidget(lblFile);
  row->addStretch();
  row->addWidget(cmdCancel);
  box->addLayout(row);
  setFixedSize(380, 140);

  connect(cmdCancel, &QPushButton::clicked, this, &frmProgress::cmdCancel_Click);
}

void frmProgress::set_label(const QString& text) {
  lblStatus->setText(
      lblStatus->fontMetrics().elidedText(text, Qt::ElideMiddle, lblStatus->width()));
  lblStatus->setToolTip(text);
}

void frmProgress::set_percent(int percent) { prgJob->setValue(std::clamp(percent, 0, 100)); }

void frmProgress::set_file(int file, int files) {
  lblFile->setText(QString("File %1 of %2").arg(file).arg(files));
}

void frmProgress::set_time(const QString& text) { lblTime->setText(text); }

void frmProgress::cmdCancel_Click() {
  cancel_requested = true;
  lblStatus->setText("Cancelling...");
  cmdCancel->setEnabled(false);
}

void frmProgress::finish() {
  finishing_ = true;
  close();
}

void frmProgress::closeEvent(QCloseEvent* e) {
  if (finishing_) {
    e->accept();
    return;
  }
  // The close box asks for a cancel; the job closes the window.
  e->ignore();
  if (cmdCancel->isEnabled()) cmdCancel_Click();
}

void frmProgress::reject() {
  if (finishing_) {
    QDialog::reject();
    return;
  }
  if (cmdCancel->isEnabled()) cmdCancel_Click();
}

}  // namespace nx
