#include "ui/main/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "services/text.h"

namespace nx {
namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

QWidget* owner() {
  QWidget* w = QApplication::activeWindow();
  if (!w) w = QApplication::activeModalWidget();
  return w;
}

std::vector<std::string> split_bar(const std::string& s) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t bar = s.find('|', start);
    parts.push_back(s.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return parts;
}

}  // namespace

QStringList qt_name_filters(const std::string& filter) {
  QStringList out;
  auto parts = split_bar(filter);
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    // The shown name repeats its patterns in brackets; Qt reads them from
    // there, separated by blanks.
    std::string name = parts[i];
    size_t bracket = name.rfind(" (");
    if (bracket != std::string::npos && !name.empty() && name.back() == ')')
      name = name.substr(0, bracket);
    std::string patterns = replace_all(parts[i + 1], ";", " ");
    out << qs(name + " (" + patterns + ")");
  }
  return out;
}

msg_result qt_dialogs::message(const std::string& text, msg_icon icon, msg_buttons buttons) {
  return message(text, "", icon, buttons);
}

msg_result qt_dialogs::message(const std::string& text, const std::string& details, msg_icon icon,
                               msg_buttons buttons) {
  QMessageBox box(owner());
  box.setWindowTitle(program_title);
  box.setText(qs(text));
  if (!details.empty()) box.setDetailedText(qs(details));
  switch (icon) {
    case msg_icon::information: box.setIcon(QMessageBox::Information); break;
    case msg_icon::exclamation: box.setIcon(QMessageBox::Warning); break;
    case msg_icon::question: box.setIcon(QMessageBox::Question); break;
    case msg_icon::none: break;
  }
  switch (buttons) {
    case msg_buttons::yes_no:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      return box.exec() == QMessageBox::Yes ? msg_result::yes : msg_result::no;
    case msg_buttons::replace_skip_cancel: {
      QPushButton* replace = box.addButton("&Replace", QMessageBox::AcceptRole);
      QPushButton* skip = box.addButton("&Skip These Files", QMessageBox::RejectRole);
      QPushButton* cancel = box.addButton("&Cancel", QMessageBox::RejectRole);
      box.setDefaultButton(skip);
      box.setEscapeButton(cancel);
      box.exec();
      if (box.clickedButton() == replace) return msg_result::replace;
      return box.clickedButton() == skip ? msg_result::skip : msg_result::cancel;
    }
    case msg_buttons::ok: break;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return msg_result::ok;
}

std::optional<std::string> qt_dialogs::input(const std::string& prompt, const std::string& title,
                                             const std::string& default_text) {
  QInputDialog box(owner());
  box.setWindowTitle(qs(title.empty() ? program_title : title));
  box.setLabelText(qs(prompt));
  box.setTextValue(qs(default_text));
  // Wide enough for its title beside the window manager's buttons.
  QFont caption = box.font();
  caption.setBold(true);
  box.setMinimumWidth(std::max(box.sizeHint().width(), QFontMetrics(caption).horizontalAdvance(box.windowTitle()) + 160));
  if (box.exec() != QDialog::Accepted) return std::nullopt;
  return box.textValue().toStdString();
}

std::string qt_dialogs::browse_folder(const std::string& title) {
  QString dir = QFileDialog::getExistingDirectory(owner(), qs(title));
  if (dir.isEmpty()) return {};
  std::string s = dir.toStdString();
  if (s.back() != '/') s += '/';
  return s;
}

namespace {

// Runs pick with the filters and the one selected by filter_index, which
// it updates when something was chosen.
template <class Pick>
auto with_filters(const std::string& filter, int& filter_index, Pick pick) {
  QStringList filters = qt_name_filters(filter);
  QString selected;
  if (filter_index >= 1 && filter_index <= filters.size()) selected = filters[filter_index - 1];
  auto chosen = pick(filters.join(";;"), &selected);
  int idx = filters.indexOf(selected);
  if (!chosen.isEmpty() && idx >= 0) filter_index = idx + 1;
  return chosen;
}

}  // namespace

std::string qt_dialogs::open_file(const std::string& title, const std::string& initial_name,
                                  const std::string& filter, int& filter_index) {
  return with_filters(filter, filter_index, [&](const QString& filters, QString* selected) {
           return QFileDialog::getOpenFileName(owner(), qs(title.empty() ? "Open" : title),
                                               qs(initial_name), filters, selected);
         }).toStdString();
}

std::vector<std::string> qt_dialogs::open_files(const std::string& title, const std::string& filter,
                                                int& filter_index) {
  std::vector<std::string> paths;
  for (const QString& p :
       with_filters(filter, filter_index, [&](const QString& filters, QString* selected) {
         return QFileDialog::getOpenFileNames(owner(), qs(title.empty() ? "Open" : title), {},
                                              filters, selected);
       }))
    paths.push_back(p.toStdString());
  return paths;
}

void install_qt_dialogs() {
  static qt_dialogs instance;
  set_dialogs(&instance);
}

}  // namespace nx
