// The template manager: lists the template library, runs its commands and
// edits the rules of one user template in a working copy that is written
// to its file only by "Save Changes".
#pragma once
#include <QDialog>
#include <map>
#include <string>
#include <vector>

#include "templates/template.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;

namespace nx {

// Opens the template manager modally over owner and returns when it closes.
// chosen (a template's name, or empty) follows a rename and is emptied when
// that template is removed.
void show_manage_templates(QWidget* owner, std::string& chosen);

class frmManage : public QDialog {
  Q_OBJECT
 public:
  explicit frmManage(QWidget* owner = nullptr);

  // Called by the rule dialogs with their result.
  void set_return(const std::string& value, const std::string& comment);
  // The rules being edited.
  const cTemplate& working_copy() const { return tpl_; }
  bool has_unsaved_edits() const;
  // The main window's template, followed through renames and removal.
  void set_chosen(const std::string& name) { chosen_ = name; }
  const std::string& chosen() const { return chosen_; }

  QLabel* lblTemplates;
  QListWidget* lstTemplates;
  QLabel* imgLogo;
  QPushButton* cmdAddTemplate;
  QPushButton* cmdRemoveTemplate;
  QPushButton* cmdRename;
  QPushButton* cmdDuplicate;
  QPushButton* cmdLaunchEditor;
  QPushButton* cmdClose;
  QGroupBox* fraTemplate;
  QLabel* lblTempDesc;
  QPlainTextEdit* txtTempDesc;
  QLabel* lblTags;
  QListWidget* lstTags;
  QPushButton* cmdAddTag;
  QPushButton* cmdRemTag;
  QLabel* lblAttr;
  QListWidget* lstAttr;
  QPushButton* cmdAddAttr;
  QPushButton* cmdRemAttr;
  QLabel* lblEmpty;
  QListWidget* lstEmpty;
  QPushButton* cmdAddEmpty;
  QPushButton* cmdRemEmpty;
  QLabel* lblFind;
  QListWidget* lstFind;
  QPushButton* cmdAddFind;
  QPushButton* cmdRemFind;
  QPushButton* cmdRemEdit;
  QLabel* lblRemoves;
  QListWidget* lstRemoves;
  QPushButton* cmdAddRemTags;
  QPushButton* cmdRemRemTags;
  QCheckBox* chkTarget;
  QLineEdit* txtTarget;
  QCheckBox* chkQuotation;
  QCheckBox* chkRebuildLists;
  QCheckBox* chkSafeHtml;
  QCheckBox* chkKeepComments;
  QPushButton* cmdSave;
  QPushButton* cmdCancelChange;
  QScrollArea* scrContent;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  // One of the four commented rule lists.
  struct rule_list {
    std::vector<std::string> cTemplate::*values;
    std::vector<std::string> cTemplate::*comments;
    QListWidget* shown;
  };

  void build_controls();
  void arrange_controls();
  void connect_controls();
  void copy_logo(QWidget* owner);

  void list_templates();
  void select_none();
  void reset_editor(bool enabled);
  void show_template();
  void mark_unsaved();
  void limit_description();
  // Shows the refusal and returns true while edits are unsaved.
  bool refuse_unsaved();
  int selected_template() const;
  std::string selected_name() const;
  std::vector<std::string> list_entries() const;

  void lstTemplates_Click();
  void cmdSave_Click();
  void cmdCancelChange_Click();
  void add_rule(const rule_list& rules, bool attributes);
  void remove_rule(const rule_list& rules);
  void cmdAddFind_Click();
  void cmdRemFind_Click();
  void cmdRemEdit_Click();
  void cmdAddTemplate_Click();
  void cmdRemoveTemplate_Click();
  void cmdRename_Click();
  void cmdDuplicate_Click();
  void cmdLaunchEditor_Click();
  void cmdClose_Click();
  void rebuild_list(const std::string& select);

  // Longest description and target the template file gives back.
  static constexpr int description_limit = 255;

  cTemplate tpl_;
  std::string ret_value_;
  std::string ret_comment_;
  std::string chosen_;
  // Each rule list's Add and Remove buttons, for its keys.
  std::map<QObject*, std::pair<QPushButton*, QPushButton*>> rule_keys_;
  // Set while the window's own procedures fill the editing area.
  bool filling_ = false;
};

}  // namespace nx
