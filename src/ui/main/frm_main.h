// The main window: a normal page with everything at once, or a five-page
// wizard asking for the same things. Both edit the normal page's controls,
// which the batch job reads through the iJobHost interface.
#pragma once
#include <QElapsedTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "convert/job.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QMenu;
class QPushButton;
class QScrollArea;
class QToolButton;
class QTreeWidget;

namespace nx {

class frmProgress;

// Windows built elsewhere, opened modally over the main window. Empty
// hooks do nothing.
struct main_window_hooks {
  // "Manage..."; chosen names the main window's template (empty for the
  // default) and follows it: renamed, or emptied when it is removed.
  std::function<void(QWidget* owner, std::string& chosen)> open_manager;
  std::function<void(QWidget* owner)> open_settings;  // toolbar settings button
  std::function<void(QWidget* owner)> show_splash;    // at start-up
};
main_window_hooks& window_hooks();

// How the window hands files to the system; tests replace these. Each
// returns "" once the program started, else why it could not.
struct window_shell_ops {
  std::function<std::string(const std::string& path)> open_document;
  std::function<std::string(const std::string& program, const std::string& file)> open_with;
};
window_shell_ops& window_shell();  // defaults: services/shell.h

class frmMain final : public QWidget, public iJobHost {
  Q_OBJECT
 public:
  frmMain();
  ~frmMain() override;

  // Start-up: settings, templates, wizard, splash, then the "/add:" file of
  // the argument text. Shows the window itself only when the splash is due.
  void Form_Load(const std::string& argument_text = {});
  // Stores the backup option once; closing the window calls it.
  void Form_Unload();

  // File list. A path that is already listed is not added again.
  void add_file(const std::string& path);
  void add_files(const std::vector<std::string>& paths);
  void add_folder(int mode);
  // Asks for a folder; adds its documents (when asked), then the files
  // matching each pattern, from it and its subfolders.
  void add_folder_tree(bool documents, const std::vector<std::string>& patterns);
  int current_row() const;  // -1 when none

  // Commands, as the buttons run them.
  void cmdConvert_Click();
  void cmdExpress_Click();
  void cmdNext_Click();
  void cmdBack_Click();
  void load_step();
  void load_templates();
  std::vector<std::string> template_names() const;  // as cmbTemplates lists them
  void update_buttons();
  bool busy() const { return busy_; }
  // How the last job ended: normally with no failed row.
  bool last_job_ok() const { return last_job_ok_; }

  // iJobHost
  int row_count() override;
  std::string row_text(int row) override;
  std::string row_status(int row) override;
  void set_row(int row, const std::string& text, const std::string& status) override;
  bool place_same() override;
  std::string destination() override;
  bool backup() override;
  std::string template_file() override;
  void set_busy(bool busy) override;
  void set_status(const std::string& text) override;
  void show_progress() override;
  void set_progress_label(const std::string& text) override;
  void close_progress() override;
  void set_progress(int percent) override;
  void pump() override;
  void row_failed(int row, const std::string& reason) override;
  void row_note(int row, const std::string& note) override;
  void set_file_position(int file, int files) override;
  // The list follows the row the job works on.
  void row_started(int row) override;
  replace_choice replace_existing(const std::vector<std::string>& paths) override;
  void set_job_bytes(unsigned long long done, unsigned long long total) override;

  frmProgress* progress_window() const;

  // Window state.
  short current_step = 0;
  bool wizard_mode = false;
  bool syncing_dest = false;
  std::vector<std::string> template_files;

  // Regions.
  QWidget* picToolbar;
  QLabel* imgBanner;
  QToolButton* cmdExpress;
  QToolButton* cmdSettings;
  QToolButton* cmdHelp;
  QWidget* picNormal;
  std::array<QWidget*, 5> pages;
  QWidget* picButtons;
  QPushButton* cmdExit;
  QPushButton* cmdBack;
  QPushButton* cmdNext;
  QMenu* mnuDrop;
  QAction* mAddFolder;
  QAction* mAddWord;
  QAction* mAddHTMLS;
  QAction* mAddIncSub;
  QAction* mAddIncSubWord;
  QAction* mAddIncSubHTML;
  QMenu* mnuPop;
  QAction* mView;
  QAction* mEdit;

  // Normal page.
  QLabel* lblTemplate;
  QComboBox* cmbTemplates;
  QPushButton* cmdManage;
  QLabel* lblFiles;
  QTreeWidget* lstFiles = nullptr;
  QWidget* list_area;  // hidden; marks where the file list sits on this page
  QPushButton* cmdAdd;
  QPushButton* cmdAddFolder;
  QPushButton* cmdDrop;
  QPushButton* cmdRemove;
  QPushButton* cmdSelAll;
  QPushButton* cmdView;
  QPushButton* cmdEdit;
  QLabel* lblDest;
  QLineEdit* txtDest;
  QPushButton* cmdBrowse;
  QCheckBox* chkPlaceSame;
  QCheckBox* chkBackup;
  QPushButton* cmdConvert;

  // Wizard pages.
  QLabel* lblWelc;
  QLabel* lblTemplate2;
  QComboBox* cmbTemplates2;
  QLabel* lblFiles2;
  QWidget* list_area2;  // the same on the files page
  QPushButton* cmdAdd2;
  QPushButton* cmdAddFolder2;
  QPushButton* cmdDrop2;
  QPushButton* cmdRemove2;
  QPushButton* cmdSelAll2;
  QLabel* lblDest2;
  QLineEdit* txtDest2;
  QPushButton* cmdBrowse2;
  QCheckBox* chkSamePlace2;
  QCheckBox* chkBackup2;
  QLabel* lblStartHint;
  QLabel* lblWait;
  QLabel* lblConv;

  // The wizard's last page: each file that could not be converted, with why.
  QLabel* lblFailed;
  QTreeWidget* lstFailed;
  // The pages scroll inside this area when the window is smaller than they need.
  QScrollArea* scrBody;
  QWidget* picBody;

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  // Files and folders dropped on the normal page or the wizard's files
  // page are added as "Add..." and "Add Folder..." add them.
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dragLeaveEvent(QDragLeaveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  // Keys on the file list: Delete removes, Enter views.
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void build_toolbar();
  void build_normal_page();
  void build_wizard_pages();
  void build_menus();
  void arrange_window();
  void connect_controls();
  // Draws the banner and the wizard's side picture for their sizes.
  void Form_Resize();
  void place_list(QWidget* area);

  void cmdAdd_Click();
  void cmdAdd2_Click();
  void cmdAddFolder2_Click();
  void cmdDrop_Click();
  void cmdDrop2_Click();
  void cmdRemove_Click();
  void cmdSelAll_Click();
  void cmdView_Click();
  void cmdEdit_Click();
  void mView_Click();
  void mEdit_Click();
  void cmdManage_Click();
  void cmdSettings_Click();
  void cmdHelp_Click();
  void cmdBrowse_Click();
  void cmdBrowse2_Click();
  void chkPlaceSame_Click();
  void txtDest_Change();
  void txtDest2_Change();
  void cmbTemplates2_Click();
  void lstFiles_RightClick(const QPoint& pos);
  void append_row(const std::string& path);
  void add_folder_tree(const std::string& folder, bool subfolders, bool documents,
                       const std::vector<std::string>& patterns);
  void add_folder_files(const std::string& folder, int mode);
  std::vector<std::string> droppable_paths(const QMimeData* data) const;
  void show_drop_hint(bool on);
  bool offer_retry();
  bool check_destination();
  void show_job_result();
  void size_columns();

  bool busy_ = false;
  bool last_job_ok_ = false;
  bool close_pending_ = false;
  bool unloaded_ = false;
  QLabel* lblDrop;  // over the file list while a drop is possible
  frmProgress* progress_;
  std::array<QLabel*, 5> wizard_sides_{};
  int job_file_ = 0, job_files_ = 0;
  int status_needed_ = 0;  // widest failed status so far
  QElapsedTimer last_pump_;
  // The job's clock and bytes, for the time under the progress bar.
  QElapsedTimer job_clock_, time_shown_;
  unsigned long long job_done_ = 0, job_total_ = 0;
  void show_job_time();
};

}  // namespace nx
