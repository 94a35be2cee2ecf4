// The settings dialog: start mode, splash, editor, browser, default folder,
// "Place in the same folders", default template and conversion mode. Every
// opening reads the settings file afresh; OK writes every key, Cancel none.
#pragma once
#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace nx {

class frmSettings final : public QDialog {
  Q_OBJECT
 public:
  explicit frmSettings(QWidget* owner = nullptr);

  // Fills the controls from the settings (the constructor runs it).
  void Form_Load();
  // Writes every setting, re-evaluates the conversion mode, closes.
  void cmdOK_Click();
  // Closes without writing.
  void cmdCancel_Click();
  // Picker for one text box: 0 editor, 1 folder, 2 browser.
  void cmdBrowser_Click(int index);

  QLabel* lblStartup;
  QCheckBox* chkSplash;
  QCheckBox* chkWizard;
  QLabel* lblMode;
  QRadioButton* optMSW;
  QRadioButton* optNXC;
  QLabel* lblTemplate;
  QComboBox* cmbTemplates;
  QLabel* lblEditor;
  QLineEdit* txtEditor;
  QLabel* lblBrowser;
  QLineEdit* txtBrowser;
  QLabel* lblFolder;
  QLineEdit* txtFolder;
  std::array<QPushButton*, 3> cmdBrowser;
  QCheckBox* chkPlaceSame;
  QPushButton* cmdOK;
  QPushButton* cmdCancel;
  QLabel* imgLogo;
};

// Shows the settings dialog modally over owner.
void show_settings(QWidget* owner);
// Points the main window's settings button and start-up splash at these
// windows; the program's entry calls it once.
void install_settings_and_splash();

}  // namespace nx
