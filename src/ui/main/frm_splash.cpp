#include "ui/main/frm_splash.h"

#include <QFont>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>

#include "services/flags.h"
#include "ui/main/pictures.h"

namespace nx {

QPixmap splash_picture() {
  const int w = frmSplash::width, h = frmSplash::height;
  QPixmap p = pictures::canvas(w, h);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setRenderHint(QPainter::TextAntialiasing);

  QLinearGradient sky(0, 0, w, h);
  sky.setColorAt(0, QColor(18, 50, 98));
  sky.setColorAt(1, QColor(52, 120, 196));
  g.fillRect(0, 0, w, h, sky);

  // Two soft waves across the lower half.
  for (int k = 0; k < 2; ++k) {
    QPainterPath wave;
    qreal base = 170 + 26 * k;
    wave.moveTo(0, base);
    wave.cubicTo(w * 0.3, base - 40, w * 0.6, base + 30, w, base - 20);
    wave.lineTo(w, h);
    wave.lineTo(0, h);
    wave.closeSubpath();
    g.fillPath(wave, QColor(255, 255, 255, 18 + 14 * k));
  }

  // A large faint tag mark behind the title.
  QFont mark("Sans");
  mark.setPixelSize(150);
  mark.setBold(true);
  g.setFont(mark);
  g.setPen(QColor(255, 255, 255, 22));
  g.drawText(QRect(180, -20, 230, 200), Qt::AlignCenter, "</>");

  g.drawPixmap(26, 34, pictures::logo(72));

  QFont title("Sans");
  title.setPixelSize(44);
  title.setBold(true);
  g.setFont(title);
  g.setPen(Qt::white);
  g.drawText(QPoint(112, 84), "Nubrix");
  const int after = 112 + QFontMetrics(title).horizontalAdvance("Nubrix ");
  g.setPen(QColor(255, 186, 48));
  g.drawText(QPoint(after, 84), "3");

  QFont line("Sans");
  line.setPixelSize(15);
  g.setFont(line);
  g.setPen(QColor(214, 232, 250));
  g.drawText(QPoint(114, 110), "Clean HTML from your documents");

  g.setPen(QPen(QColor(255, 186, 48), 2));
  g.drawLine(QPointF(28, 134), QPointF(w - 28, 134));

  QFont small("Sans");
  small.setPixelSize(12);
  g.setFont(small);
  g.setPen(QColor(214, 232, 250));
  g.drawText(QPoint(28, 156), "Word documents  \u00b7  Rich Text  \u00b7  plain text  \u00b7  web pages");
  return p;
}

frmSplash::frmSplash(QWidget* owner, int interval_ms) : QDialog(owner) {
  setObjectName("frmSplash");
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setModal(true);
  setFixedSize(width, height);

  picture = new QLabel(this);
  picture->setObjectName("picture");
  picture->setGeometry(0, 0, width, height);
  picture->setPixmap(splash_picture());

  lblCredit = new QLabel("Polar Converter component used.", this);
  lblCredit->setObjectName("lblCredit");
  QFont tahoma("Tahoma");
  tahoma.setPixelSize(11);
  lblCredit->setFont(tahoma);
  lblCredit->setStyleSheet("color: white; background: transparent;");
  lblCredit->setGeometry(28, height - 30, width - 56, 18);

  tmrClose = new QTimer(this);
  tmrClose->setObjectName("tmrClose");
  tmrClose->setSingleShot(true);
  tmrClose->setInterval(interval_ms);
  connect(tmrClose, &QTimer::timeout, this, &frmSplash::tmrClose_Timer);

  Form_Load();
}

void frmSplash::Form_Load() {
  lblCredit->setVisible(use_internal_converter);
  tmrClose->start();
}

void frmSplash::tmrClose_Timer() { accept(); }
void frmSplash::Form_Click() {}
void frmSplash::Form_DblClick() { accept(); }

void frmSplash::mousePressEvent(QMouseEvent* e) {
  e->accept();
  Form_Click();
}

void frmSplash::mouseDoubleClickEvent(QMouseEvent* e) {
  e->accept();
  Form_DblClick();
}

void show_splash(QWidget* owner) {
  frmSplash splash(owner);
  // Centred over the main window, else on its screen.
  const QRect over = owner && owner->isVisible() ? owner->frameGeometry()
                                                 : (splash.screen() ? splash.screen()->availableGeometry() : QRect());
  if (over.isValid()) splash.move(over.center() - QPoint(frmSplash::width / 2, frmSplash::height / 2));
  splash.exec();
}

}  // namespace nx
