// The two rule entry dialogs of the template manager: "Add Tag" and
// "Add Attribute". The user picks names from a fixed list or types one, may
// add a comment, and the result goes back through a set_return callback.
#pragma once
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace nx {

// Receives (value, comment). A value naming several entries has each name
// followed by the character of code 0 and comes with an empty comment.
using set_return_fn = std::function<void(const std::string&, const std::string&)>;

// The fixed lists, in their display order (duplicates kept).
const std::vector<std::string>& tag_names();
const std::vector<std::string>& attribute_names();

// Shared body of both dialogs; only the caption and the list differ.
class rule_dialog : public QDialog {
  Q_OBJECT
 public:
  rule_dialog(QWidget* owner, const QString& caption, const std::vector<std::string>& names,
              set_return_fn set_return);

  QListWidget* lstTags;
  QCheckBox* chkCustomize;
  QLineEdit* txtCus;
  QLabel* lblComment;
  QLineEdit* txtComment;
  QPushButton* cmdAdd;
  QPushButton* cmdCancel;

 private:
  void chkCustomize_Click();
  void lstTags_Click();
  void txtCus_Change();
  void cmdAdd_Click();

  set_return_fn set_return_;
};

class frmTags : public rule_dialog {
  Q_OBJECT
 public:
  frmTags(QWidget* owner, set_return_fn set_return);
};

class frmAttrs : public rule_dialog {
  Q_OBJECT
 public:
  frmAttrs(QWidget* owner, set_return_fn set_return);
};

}  // namespace nx
