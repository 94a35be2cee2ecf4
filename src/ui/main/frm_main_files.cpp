// The file list and the commands that view and edit its files.
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QUrl>
#include <string>
#include <unordered_set>
#include <vector>

#include "services/dialogs.h"
#include "services/paths.h"
#include "services/settings.h"
#include "ui/main/frm_main.h"

namespace nx {
namespace {

const std::vector<std::string> html_patterns = {"*.html", "*.htm"};

constexpr const char* add_file_filter =
    "Convertible files (*.doc;*.docx;*.odt;*.htm;*.html;*.rtf;*.txt)|*.doc;*.docx;*.odt;*.htm;*.html;*.rtf;*.txt|"
    "Word Documents (*.doc;*.docx)|*.doc;*.docx|OpenDocument Text (*.odt)|*.odt|HTML Files (*.htm;*.html)|*.htm;*.html|"
    "RichText Format Files (*.rtf)|*.rtf|Text Files (*.txt)|*.txt|All Files (*.*)|*.*";

// Keeps the list from repainting while many rows go in.
class bulk_add {
 public:
  explicit bulk_add(QTreeWidget* list) : list_(list), was_(list->updatesEnabled()) {
    list_->setUpdatesEnabled(false);
  }
  ~bulk_add() { list_->setUpdatesEnabled(was_); }

 private:
  QTreeWidget* list_;
  bool was_;
};

// A failed row keeps why in its status cell and tooltip.
constexpr int failed_role = Qt::UserRole;

bool is_failed(const QTreeWidgetItem* item) { return item->data(1, failed_role).toBool(); }

void set_status_cell(QTreeWidgetItem* item, const QString& status, bool failed) {
  item->setText(1, status);
  item->setToolTip(1, failed ? status : QString());
  item->setData(1, failed_role, failed);
}

// Room for a status text in its column.
int status_width(const QTreeWidget* list, const QString& status) {
  return list->fontMetrics().horizontalAdvance(status) + 3 * list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12;
}

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void frmMain::append_row(const std::string& path) {
  auto* item = new QTreeWidgetItem({qs(path), status_ready});
  item->setToolTip(0, qs(path));
  lstFiles->addTopLevelItem(item);
}

void frmMain::set_row(int row, const std::string& text, const std::string& status) {
  if (QTreeWidgetItem* item = lstFiles->topLevelItem(row)) {
    item->setText(0, qs(text));
    item->setToolTip(0, qs(text));
    set_status_cell(item, qs(status), status == status_failed);
  }
}

void frmMain::row_failed(int row, const std::string& reason) {
  if (QTreeWidgetItem* item = lstFiles->topLevelItem(row); item && !reason.empty()) {
    set_status_cell(item, qs(std::string(status_failed) + ": " + reason), true);
    const int needed = status_width(lstFiles, item->text(1));
    if (needed > status_needed_) {
      status_needed_ = needed;
      size_columns();
    }
  }
}

void frmMain::row_started(int row) {
  if (QTreeWidgetItem* item = lstFiles->topLevelItem(row)) lstFiles->scrollToItem(item);
}

// A converted row keeps its status; the note (its output got another
// name) is the status cell's tooltip.
void frmMain::row_note(int row, const std::string& note) {
  if (QTreeWidgetItem* item = lstFiles->topLevelItem(row))
    item->setToolTip(1, item->text(1) + ": " + qs(note));
}

// With no row left "Ready" but some failed, offers to try those again.
// False when the user declines: there is nothing to do then.
bool frmMain::offer_retry() {
  std::vector<QTreeWidgetItem*> failed;
  for (int i = 0; i < lstFiles->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = lstFiles->topLevelItem(i);
    if (item->text(1) == status_ready) return true;
    if (is_failed(item)) failed.push_back(item);
  }
  if (failed.empty()) return true;
  std::string question = failed.size() == 1
                             ? std::string("Try the file that could not be converted again?")
                             : "Try the " + std::to_string(failed.size()) +
                                   " files that could not be converted again?";
  if (dialogs().message(question, msg_icon::question, msg_buttons::yes_no) != msg_result::yes)
    return false;
  for (QTreeWidgetItem* item : failed) set_status_cell(item, status_ready, false);
  status_needed_ = 0;
  size_columns();
  return true;
}

void frmMain::add_file(const std::string& path) { add_files({path}); }

void frmMain::add_files(const std::vector<std::string>& paths) {
  std::unordered_set<std::string> listed;
  for (int i = 0; i < lstFiles->topLevelItemCount(); ++i)
    listed.insert(lstFiles->topLevelItem(i)->text(0).toStdString());
  bulk_add bulk(lstFiles);
  for (const auto& path : paths)
    if (file_exists(path) && listed.insert(path).second) append_row(path);
  update_buttons();
}

void frmMain::add_folder(int mode) {
  std::string folder = dialogs().browse_folder("Folder to Add");
  if (!folder.empty()) add_folder_files(folder, mode);
}

void frmMain::add_folder_files(const std::string& folder, int mode) {
  // Mode 0 takes documents and HTML, 1 documents only, 2 HTML only.
  add_folder_tree(folder, false, mode != 2, mode == 1 ? std::vector<std::string>{} : html_patterns);
}

void frmMain::add_folder_tree(bool documents, const std::vector<std::string>& patterns) {
  std::string folder = dialogs().browse_folder("Folder to Add with Subfolders");
  if (!folder.empty()) add_folder_tree(folder, true, documents, patterns);
}

void frmMain::add_folder_tree(const std::string& folder, bool subfolders, bool documents,
                              const std::vector<std::string>& patterns) {
  std::vector<std::string> paths;
  if (documents) paths = find_documents(folder, subfolders);
  for (const auto& pattern : patterns)
    for (auto& path : find_files(folder, subfolders, pattern)) paths.push_back(std::move(path));
  add_files(paths);
}

void frmMain::cmdAdd_Click() {
  int filter_index = 1;
  add_files(dialogs().open_files("Add File", add_file_filter, filter_index));
}

// ---- drag and drop, keys

// The local files and folders of a drag, when the list is on show.
std::vector<std::string> frmMain::droppable_paths(const QMimeData* data) const {
  std::vector<std::string> paths;
  if (wizard_mode && current_step != 2) return paths;
  for (const QUrl& url : data->urls()) {
    std::string path = url.toLocalFile().toStdString();
    // Files as the "Convertible files" filter takes them; folders for
    // their documents and HTML files.
    if (url.isLocalFile() && ((file_exists(path) && is_convertible_file(path)) || folder_exists(path)))
      paths.push_back(path);
  }
  return paths;
}

void frmMain::show_drop_hint(bool on) {
  if (on) {
    // A tint of the highlight over the list's own colour, opaque so that
    // the rows do not show through the words.
    const QColor mark = palette().color(QPalette::Highlight), base = lstFiles->palette().color(QPalette::Base);
    auto tint = [](int over, int under) { return (over + 4 * under) / 5; };
    const QColor pane(tint(mark.red(), base.red()), tint(mark.green(), base.green()), tint(mark.blue(), base.blue()));
    lblDrop->setStyleSheet(QString("QLabel { background: %1; border: 2px dashed %2; font-weight: bold; }")
                               .arg(pane.name(), mark.name()));
    lblDrop->setGeometry(lstFiles->rect());
    lblDrop->raise();
  }
  lblDrop->setVisible(on);
}

void frmMain::dragEnterEvent(QDragEnterEvent* e) {
  bool ok = !droppable_paths(e->mimeData()).empty();
  if (ok) e->acceptProposedAction();
  show_drop_hint(ok);
}

void frmMain::dragMoveEvent(QDragMoveEvent* e) {
  if (lblDrop->isVisible()) e->acceptProposedAction();
}

void frmMain::dragLeaveEvent(QDragLeaveEvent*) { show_drop_hint(false); }

void frmMain::dropEvent(QDropEvent* e) {
  show_drop_hint(false);
  std::vector<std::string> paths = droppable_paths(e->mimeData());
  if (paths.empty()) return;
  e->acceptProposedAction();
  bulk_add bulk(lstFiles);
  for (const auto& path : paths) {
    if (folder_exists(path))
      add_folder_files(add_backslash(path), 0);
    else
      add_file(path);
  }
}

// The status takes the room its longest text needs, from a quarter to
// three fifths of the list; the path has the rest. Both are cut in the
// middle, and their tooltips hold them whole.
void frmMain::size_columns() {
  const int width = lstFiles->viewport()->width();
  const int status = std::clamp(std::max(status_needed_, status_width(lstFiles, "Converted")), width / 4,
                                std::max(width / 4, width * 3 / 5));
  lstFiles->header()->resizeSection(1, status);
  lstFiles->header()->resizeSection(0, std::max(0, width - status));
}

bool frmMain::eventFilter(QObject* watched, QEvent* e) {
  // The toolbar's filter runs while the window is still being built.
  if (!lstFiles) return QWidget::eventFilter(watched, e);
  if ((watched == lstFiles || watched == lstFiles->viewport()) && e->type() == QEvent::Resize) size_columns();
  // A wizard page's picture is sized while the page is hidden: drawn when shown.
  if ((e->type() == QEvent::Resize || e->type() == QEvent::Show) &&
      (watched == picToolbar || std::find(wizard_sides_.begin(), wizard_sides_.end(), watched) != wizard_sides_.end()))
    Form_Resize();
  if (watched == lstFiles && e->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    switch (key->key()) {
      case Qt::Key_Delete:
        // Not while a job walks the rows.
        if (cmdRemove->isEnabled() && !lstFiles->selectedItems().isEmpty()) cmdRemove_Click();
        return true;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (current_row() >= 0) mView_Click();
        return true;
    }
  }
  return QWidget::eventFilter(watched, e);
}

void frmMain::cmdAdd2_Click() {
  cmdAdd_Click();
  cmdNext->setEnabled(lstFiles->topLevelItemCount() > 0);
}

void frmMain::cmdAddFolder2_Click() {
  add_folder(0);
  cmdNext->setEnabled(lstFiles->topLevelItemCount() > 0);
}

void frmMain::cmdDrop_Click() {
  mnuDrop->popup(cmdAddFolder->mapToGlobal(QPoint(0, cmdAddFolder->height())));
}

void frmMain::cmdDrop2_Click() {
  mnuDrop->popup(cmdAddFolder2->mapToGlobal(QPoint(0, cmdAddFolder2->height())));
}

void frmMain::cmdRemove_Click() {
  if (lstFiles->topLevelItemCount() == 0) return;
  if (dialogs().message("Remove selected files from the list?", msg_icon::question,
                        msg_buttons::yes_no) != msg_result::yes)
    return;
  {
    bulk_add bulk(lstFiles);
    int i = 0;
    while (i < lstFiles->topLevelItemCount()) {
      QTreeWidgetItem* item = lstFiles->topLevelItem(i);
      if (item->isSelected())
        delete lstFiles->takeTopLevelItem(i);
      else
        ++i;
    }
  }
  update_buttons();
}

void frmMain::cmdSelAll_Click() {
  lstFiles->selectAll();
  lstFiles->setFocus();
}

int frmMain::current_row() const {
  QTreeWidgetItem* item = lstFiles->currentItem();
  if (!item || !item->isSelected()) return -1;
  return lstFiles->indexOfTopLevelItem(item);
}

void frmMain::cmdView_Click() {
  if (current_row() < 0)
    dialogs().message("Please select a converted file to View.", msg_icon::information);
  else
    mView_Click();
}

void frmMain::cmdEdit_Click() {
  if (current_row() < 0)
    dialogs().message("Please select a converted file to Edit.", msg_icon::information);
  else
    mEdit_Click();
}

void frmMain::lstFiles_RightClick(const QPoint& pos) {
  if (current_row() < 0) return;
  mnuPop->popup(lstFiles->viewport()->mapToGlobal(pos));
}

namespace {

// Reports a program that could not start; nothing when it did.
void report_start(const std::string& what, const std::string& why) {
  if (!why.empty()) dialogs().message("Could not start " + what + ": " + why + ".", msg_icon::exclamation);
}

}  // namespace

void frmMain::mView_Click() {
  int row = current_row();
  if (row < 0) return;
  std::string path = row_text(row);
  if (is_doc_name(path)) {
    report_start("the program for this document", window_shell().open_document(path));
    return;
  }
  std::string browser = setting_browser();
  report_start("the browser",
               browser.empty() ? window_shell().open_document(path) : window_shell().open_with(browser, path));
}

void frmMain::mEdit_Click() {
  int row = current_row();
  if (row < 0) return;
  std::string path = row_text(row);
  if (is_doc_name(path)) {
    report_start("the program for this document", window_shell().open_document(path));
    return;
  }
  std::string editor = setting_editor();
  if (editor.empty()) return;
  // The file goes over as one argument, so blanks in it are safe.
  report_start("the editor", window_shell().open_with(editor, short_path(path)));
}

}  // namespace nx
