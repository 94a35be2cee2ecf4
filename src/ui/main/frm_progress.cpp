#include "ui/main/frm_progress.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "services/flags.h"

namespace nx {

frmProgress::frmProgress(QWidget* owner) : QFrame(owner) {
  setObjectName("frmProgress");
  setWindowTitle("Progress");
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::AlternateBase);

  lblStatus = new QLabel("converting...", this);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setTextFormat(Qt::PlainText);
  // A long path must not widen the window.
  lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  prgJob = new QProgressBar(this);
  prgJob->setObjectName("prgJob");
  prgJob->setRange(0, 100);
  prgJob->setValue(0);
  lblTime = new QLabel(this);
  lblTime->setObjectName("lblTime");
  lblTime->setTextFormat(Qt::PlainText);
  lblFile = new QLabel(this);
  lblFile->setObjectName("lblFile");
  cmdCancel = new QPushButton("&Cancel", this);
  cmdCancel->setObjectName("cmdCancel");
  cmdCancel->setAutoDefault(false);

  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(10, 6, 10, 6);
  box->setSpacing(4);
  auto* top = new QHBoxLayout;
  top->setSpacing(12);
  top->addWidget(lblStatus, 1);
  top->addWidget(lblTime);
  box->addLayout(top);
  auto* row = new QHBoxLayout;
  row->addWidget(prgJob, 1);
  row->addWidget(lblFile);
  row->addWidget(cmdCancel);
  box->addLayout(row);

  connect(cmdCancel, &QPushButton::clicked, this, &frmProgress::cmdCancel_Click);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, [this] {
    if (isVisible() && cmdCancel->isEnabled()) cmdCancel_Click();
  });
}

void frmProgress::start() {
  finishing_ = false;
  cmdCancel->setEnabled(true);
  lblFile->clear();
  lblTime->clear();
  set_label("converting...");
  set_percent(0);
  show();
}

void frmProgress::set_label(const QString& text) {
  label_ = text;
  show_label();
}

void frmProgress::show_label() {
  lblStatus->setText(lblStatus->fontMetrics().elidedText(label_, Qt::ElideMiddle, lblStatus->width()));
  lblStatus->setToolTip(label_);
}

void frmProgress::resizeEvent(QResizeEvent* e) {
  QFrame::resizeEvent(e);
  show_label();
}

void frmProgress::set_percent(int percent) { prgJob->setValue(std::clamp(percent, 0, 100)); }

void frmProgress::set_file(int file, int files) {
  lblFile->setText(QString("File %1 of %2").arg(file).arg(files));
}

void frmProgress::set_time(const QString& text) {
  if (text == lblTime->text()) return;
  lblTime->setText(text);
  // The label gets what the time leaves of the row.
  layout()->activate();
  show_label();
}

void frmProgress::cmdCancel_Click() {
  cancel_requested = true;
  set_label("Cancelling...");
  cmdCancel->setEnabled(false);
}

void frmProgress::finish() {
  finishing_ = true;
  hide();
}

void frmProgress::closeEvent(QCloseEvent* e) {
  // Closing asks for a cancel; the job hides the strip.
  e->ignore();
  if (!finishing_ && cmdCancel->isEnabled()) cmdCancel_Click();
}

}  // namespace nx
