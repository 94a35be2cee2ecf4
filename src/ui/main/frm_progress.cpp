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

  Label1 = new QLabel("converting...", this);
  Label1->setObjectName("Label1");
  Label1->setTextFormat(Qt::PlainText);
  // A long path must not widen the window.
  Label1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  Label1->setMinimumWidth(340);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  lblFile = new QLabel(this);
  lblFile->setObjectName("lblFile");
  Command1 = new QPushButton("Cancel", this);
  Command1->setObjectName("Command1");
  Command1->setAutoDefault(false);

  auto* box = new QVBoxLayout(this);
  box->addWidget(Label1);
  box->addWidget(ProgressBar1);
  auto* row = new QHBoxLayout;
  row->addWidget(lblFile);
  row->addStretch();
  row->addWidget(Command1);
  box->addLayout(row);
  setFixedSize(380, 120);

  connect(Command1, &QPushButton::clicked, this, &frmProgress::Command1_Click);
}

void frmProgress::set_label(const QString& text) {
  Label1->setText(Label1->fontMetrics().elidedText(text, Qt::ElideMiddle, Label1->width()));
  Label1->setToolTip(text);
}

void frmProgress::set_percent(int percent) { ProgressBar1->setValue(std::clamp(percent, 0, 100)); }

void frmProgress::set_file(int file, int files) {
  lblFile->setText(QString("File %1 of %2").arg(file).arg(files));
}

void frmProgress::Command1_Click() {
  cancel_requested = true;
  Label1->setText("Cancelling...");
  Command1->setEnabled(false);
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
  if (Command1->isEnabled()) Command1_Click();
}

void frmProgress::reject() {
  if (finishing_) {
    QDialog::reject();
    return;
  }
  if (Command1->isEnabled()) Command1_Click();
}

}  // namespace nx
