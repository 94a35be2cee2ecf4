// The template manager window and its rule dialogs, driven through their
// controls with scripted prompts and messages.
#include "ui/manage/manage_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>

#include "clean/clean.h"
#include "convert/job.h"
#include "services/settings.h"
#include "services/text.h"
#include "support/test_env.h"
#include "templates/library.h"
#include "ui/main/frm_main.h"
#include "ui/manage/rule_dialogs.h"
#include "ui/ui_driver.h"

namespace nx::test {
namespace {

using lines = std::vector<std::string>;

class manage_test : public program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    qt_app();
  }

  // The user template "Site", as its file holds it.
  static constexpr const char* site =
      "[TEMPLATE]\r\nDESCRIPTION=For the web site\r\nDEFAULT_TARGET=_blank\r\nQUOTATION=\"\r\n"
      "[FINDREPLACE]\r\nfind:&nbsp;\r\nreplace: \r\nfind:a\r\nreplace:A\r\nfind:b\r\nreplace:B\r\n"
      "[TAGS]\r\no:* {office}\r\nxml*\r\n[ATTRIBUTES]\r\nclass\r\n[REMOVE_EMPTY_TAGS]\r\np\r\n"
      "[REMOVE_TAGS]\r\nspan*\r\n";

  // Opens the window, with "Site" selected if asked.
  std::unique_ptr<frmManage> open_window(bool with_site = true) {
    if (with_site) tmp.write("prog/templates/Site.dat", site);
    auto w = std::make_unique<frmManage>();
    w->show();
    if (with_site) pick(*w, "Site");
    return w;
  }

  static int row_named(frmManage& w, const std::string& name) {
    const auto found = w.lstTemplates->findItems(QString::fromStdString(name), Qt::MatchExactly);
    return found.isEmpty() ? -1 : w.lstTemplates->row(found.front());
  }

  static void pick(frmManage& w, const std::string& name) {
    const int row = row_named(w, name);
    ASSERT_GE(row, 0) << name;
    click_row(w.lstTemplates, row);
  }

  // Presses an "Add" button of a commented list and answers its dialog.
  static void add_through_dialog(QPushButton* add, std::function<void(rule_dialog*)> answer) {
    on_modal<rule_dialog> reply([&](rule_dialog* d) {
      answer(d);
      if (d->isVisible()) d->reject();
    });
    click(add);
    EXPECT_TRUE(reply.ran());
  }

  static void add_names(QPushButton* add, std::initializer_list<const char*> names) {
    add_through_dialog(add, [&](rule_dialog* d) {
      for (auto* n : names) click_row(d->lstTags, d->lstTags->row(d->lstTags->findItems(n, Qt::MatchExactly).front()));
      click(d->cmdAdd);
    });
  }

  static bool unsaved(frmManage& w) {
    return !w.lstTemplates->isEnabled() && w.cmdSave->isEnabled() && w.cmdCancelChange->isEnabled();
  }
};

TEST_F(manage_test, OpensEmptyThenShowsTheDefaultReadOnlyWithItsNote) {
  auto w = open_window(false);
  EXPECT_EQ(w->windowTitle(), "Manage Templates");
  EXPECT_TRUE(w->lstTemplates->selectedItems().isEmpty());
  EXPECT_FALSE(w->fraTemplate->isEnabled());
  EXPECT_FALSE(w->cmdRename->isEnabled() || w->cmdRemoveTemplate->isEnabled() ||
               w->cmdLaunchEditor->isEnabled());
  click(w->cmdDuplicate);
  EXPECT_EQ(dlg.messages(), lines{"Select a template to duplicate."});

  dlg.calls.clear();
  pick(*w, default_template_name);
  EXPECT_EQ(lines_of(w->lstRemoves), (QStringList{"span*", "![endif]*"}));
  EXPECT_TRUE(w->chkQuotation->isChecked());
  EXPECT_FALSE(w->chkTarget->isChecked() || w->chkRebuildLists->isChecked() || w->chkSafeHtml->isChecked() ||
               w->chkKeepComments->isChecked());
  EXPECT_EQ(w->txtTempDesc->toPlainText().toStdString(), default_template_note);
  EXPECT_FALSE(w->fraTemplate->isEnabled() || w->txtTempDesc->isEnabled());
  EXPECT_FALSE(w->cmdRename->isEnabled() || w->cmdRemoveTemplate->isEnabled());
  QTest::keyClicks(w->txtTempDesc, "x");
  click(w->cmdAddFind);
  EXPECT_TRUE(w->lstTemplates->isEnabled() && dlg.calls.empty());
  click(w->cmdLaunchEditor);
  EXPECT_EQ(dlg.messages(), lines{"You can not edit the default template, please duplicate it, "
                                  "then edit it to suit your needs."});
}

TEST_F(manage_test, EditsEveryListAndSavesThemToTheFile) {
  auto w = open_window();
  EXPECT_FALSE(unsaved(*w));

  add_names(w->cmdAddTag, {"u", "b", "i"});  // three rules, in list order
  EXPECT_TRUE(unsaved(*w));
  add_through_dialog(w->cmdAddAttr, [](rule_dialog* d) {
    click(d->chkCustomize);
    QTest::keyClicks(d->txtCus, "data-id");
    QTest::keyClicks(d->txtComment, "scripts");
    click(d->cmdAdd);
  });
  add_names(w->cmdAddEmpty, {"font"});  // no comment typed: stored as "{}"
  add_through_dialog(w->cmdAddRemTags, [](rule_dialog* d) {
    click_row(d->lstTags, d->lstTags->row(d->lstTags->findItems("meta", Qt::MatchExactly).front()));
    click(d->chkCustomize);
    QTest::keyClick(d->txtCus, Qt::Key_End);
    QTest::keyClicks(d->txtCus, "*");
    QTest::keyClicks(d->txtComment, "charset");
    click(d->cmdAdd);
  });
  add_through_dialog(w->cmdAddRemTags, [](rule_dialog* d) { click(d->cmdCancel); });

  for (auto [list, remove] : {std::pair{w->lstTags, w->cmdRemTag}, {w->lstAttr, w->cmdRemAttr},
                              {w->lstEmpty, w->cmdRemEmpty}, {w->lstRemoves, w->cmdRemRemTags}}) {
    click_row(list, 0);
    click(remove);
  }
  // Find/replace: remove the second pair, edit the first in place, add one.
  click_row(w->lstFind, 1);
  click(w->cmdRemFind);
  dlg.input_answers = {"&nbsp;", "&#160;", "{x}", " {y} "};
  click_row(w->lstFind, 0);
  click(w->cmdRemEdit);
  click(w->cmdAddFind);
  ASSERT_EQ(dlg.calls.size(), 4u);
  EXPECT_EQ(dlg.calls[0].text + dlg.calls[0].title + dlg.calls[0].default_text, "Find what:Find&nbsp;");
  EXPECT_EQ(dlg.calls[1].text + dlg.calls[1].title + dlg.calls[1].default_text, "Replace with:Replace ");

  w->txtTarget->clear();
  QTest::keyClicks(w->txtTarget, "_top");
  click(w->chkQuotation);
  click(w->chkRebuildLists);
  click(w->chkSafeHtml);
  click(w->chkKeepComments);
  w->txtTempDesc->selectAll();
  QTest::keyClicks(w->txtTempDesc, "Edited");
  click(w->cmdSave);
  EXPECT_TRUE(w->lstTemplates->isEnabled());
  EXPECT_EQ(read_all(template_path("Site")),
            "[TEMPLATE]\r\nDESCRIPTION=Edited\r\nDEFAULT_TARGET=_top\r\nQUOTATION=\r\nREBUILD_LISTS=1\r\n"
            "SAFE_HTML=1\r\nKEEP_COMMENTS=1\r\n[FINDREPLACE]\r\nfind:&nbsp;\r\nreplace:&#160;\r\nfind:b\r\nreplace:B\r\nfind:{x}\r\nreplace: {y} \r\n"
            "[TAGS]\r\nxml*\r\nb\r\ni\r\nu\r\n[ATTRIBUTES]\r\ndata-id {scripts}\r\n"
            "[REMOVE_EMPTY_TAGS]\r\nfont {}\r\n[REMOVE_TAGS]\r\nmeta* {charset}\r\n");
  pick(*w, default_template_name);
  pick(*w, "Site");
  EXPECT_FALSE(w->chkQuotation->isChecked());
  EXPECT_TRUE(w->chkRebuildLists->isChecked() && w->chkSafeHtml->isChecked() && w->chkKeepComments->isChecked());
  click(w->chkSafeHtml);
  click(w->cmdSave);
  EXPECT_EQ(read_all(template_path("Site")).find("SAFE_HTML"), std::string::npos);
}

TEST_F(manage_test, UnsavedEditsLockTheLibraryAndCancelKeepsAddedRules) {
  auto w = open_window();
  add_names(w->cmdAddTag, {"table"});
  QTest::keyClick(w->txtTempDesc, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(w->txtTempDesc, "!");
  w->txtTarget->clear();
  ASSERT_TRUE(unsaved(*w));

  // Each command, and Escape for "Close", refuses with the same message only.
  for (QPushButton* b :
       {w->cmdClose, w->cmdAddTemplate, w->cmdRemoveTemplate, w->cmdRename, w->cmdDuplicate,
        w->cmdLaunchEditor, (QPushButton*)nullptr}) {
    dlg.calls.clear();
    b ? click(b) : QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_EQ(dlg.messages(), lines{"Please update current template, first."});
    EXPECT_EQ(dlg.calls.size(), 1u);
  }
  EXPECT_TRUE(w->isVisible());
  click_row(w->lstTemplates, 0);  // the list takes no clicks
  EXPECT_EQ(w->txtTempDesc->toPlainText(), "For the web site!");

  // Cancel Changes restores the fields, keeps the added tag and unlocks the list.
  click(w->cmdCancelChange);
  EXPECT_EQ(w->txtTempDesc->toPlainText(), "For the web site");
  EXPECT_EQ(w->txtTarget->text(), "_blank");
  EXPECT_EQ(lines_of(w->lstTags), (QStringList{"o:*", "xml*", "table"}));
  EXPECT_TRUE(w->lstTemplates->isEnabled() && w->cmdSave->isEnabled());
  // The close box then drops the edits without asking.
  dlg.calls.clear();
  w->close();
  EXPECT_TRUE(!w->isVisible() && dlg.calls.empty());
  EXPECT_EQ(read_all(template_path("Site")), site);
}

TEST_F(manage_test, SaveKeepsOnlyACheckedTargetAndTheDescriptionLimitAndReportsFailure) {
  auto w = open_window();
  w->txtTarget->selectAll();
  QTest::keyClick(w->txtTarget, Qt::Key_Delete);
  EXPECT_FALSE(w->chkTarget->isChecked());
  QTest::keyClicks(w->txtTarget, "_self");
  EXPECT_TRUE(w->chkTarget->isChecked());
  click(w->chkTarget);  // unchecked, text stays but is not saved
  w->txtTempDesc->clear();
  QTest::keyClicks(w->txtTempDesc, QString(250, 'x'));
  w->txtTempDesc->insertPlainText(QString::fromUtf8("ééééé"));  // pasted
  EXPECT_EQ(w->txtTempDesc->toPlainText(), QString(250, 'x') + QString::fromUtf8("éé"));
  click(w->cmdSave);
  EXPECT_EQ(w->txtTarget->text(), "");
  EXPECT_EQ(load_template("Site").strTarget, "");
  EXPECT_EQ(load_template("Site").TempDescription, std::string(250, 'x') + "éé");

  QTest::keyClicks(w->txtTarget, "x");
  std::filesystem::remove_all(prog + "templates");
  tmp.write("prog/templates", "a file where the folder belongs");
  click(w->cmdSave);
  EXPECT_EQ(dlg.messages(), lines{"Can not save template 'Site'. Its file in the templates folder could not be written."});
  EXPECT_TRUE(unsaved(*w));
  std::filesystem::remove(prog + "templates");
  click(w->cmdSave);  // into a missing templates folder
  EXPECT_EQ(load_template("Site").strTarget, "x");
}

TEST_F(manage_test, CancelledOrEmptyFindPromptsChangeNothing) {
  auto w = open_window();
  const cTemplate before = w->working_copy();
  dlg.input_answers = {std::nullopt, "", "q", std::nullopt};
  click(w->cmdAddFind);
  click(w->cmdAddFind);
  click(w->cmdAddFind);
  click_row(w->lstFind, 1);
  dlg.input_answers = {""};
  click(w->cmdRemEdit);
  EXPECT_EQ(w->working_copy(), before);
  dlg.input_answers = {"<o:p></o:p>", ""};  // an empty replacement is accepted
  click(w->cmdAddFind);
  EXPECT_EQ(w->lstFind->item(3)->text(), R"("<o:p></o:p>" -> "")");
}

TEST_F(manage_test, LibraryCommandsRebuildTheListAndSelectWhatTheyMade) {
  auto w = open_window();
  pick(*w, default_template_name);
  dlg.input_answers = {"Template_3"};
  click(w->cmdDuplicate);
  EXPECT_EQ(dlg.calls.at(0).text + dlg.calls[0].default_text, "Copy as:Template_3");
  EXPECT_EQ(w->lstTemplates->currentItem()->text(), "Template_3");
  EXPECT_TRUE(w->lstTemplates->currentItem()->isSelected());
  EXPECT_EQ(w->working_copy().colTags, default_template().colTags);

  dlg.input_answers = {"Site 2"};
  click(w->cmdRename);
  EXPECT_EQ(w->lstTemplates->currentItem()->text(), "Site 2") << "renamed, still selected";
  dlg.input_answers = {"Site"};
  click(w->cmdRename);

  dlg.calls.clear();
  dlg.input_answers = {"SITE"};  // taken: refused, the selection stays
  pick(*w, "Site");
  click(w->cmdRename);
  EXPECT_EQ(dlg.calls.at(0).text + dlg.calls[0].default_text, "Rename Template to:Site");
  EXPECT_EQ(row_named(*w, "Site"), w->lstTemplates->currentRow());

  dlg.calls.clear();
  dlg.message_answers = {msg_result::yes};
  click(w->cmdRemoveTemplate);
  EXPECT_EQ(dlg.messages(), lines{"Are you sure you want to delete template 'Site'?"});
  EXPECT_FALSE(exists(template_path("Site")));

  // A fresh install has no templates folder: Add makes it (Save does too,
  // below).
  std::filesystem::remove_all(prog + "templates");
  dlg.calls.clear();
  dlg.input_answers = {"Mi:ne", "Mine"};  // refused, then mended in the box
  click(w->cmdAddTemplate);
  EXPECT_EQ(dlg.calls.at(0).text, "New Template Name:");
  EXPECT_EQ(dlg.calls.back().default_text, "Mi:ne");
  EXPECT_EQ(read_all(template_path("Mine")), template_skeleton());
  EXPECT_EQ(lines_of(w->lstTemplates), (QStringList{default_template_name, "Mine"}));
  EXPECT_EQ(w->lstTemplates->currentItem()->text(), "Mine");
  EXPECT_TRUE(w->fraTemplate->isEnabled()) << "ready to edit";
}

TEST_F(manage_test, LaunchEditorOpensTheFileWithTheEditorSetting) {
  const std::string seen = tmp.file("seen");
  const std::string editor = tmp.write_script("editor.sh", "printf '%s' \"$1\" > '" + seen + "'\n");
  auto w = open_window();
  write_setting("default", "editor", editor);
  click(w->cmdLaunchEditor);
  for (int i = 0; i < 250 && read_all(seen).empty(); ++i) QTest::qWait(20);
  EXPECT_EQ(read_all(seen), template_path("Site"));
  write_setting("default", "editor", "");  // no editor: nothing happens
  click(w->cmdLaunchEditor);
  write_setting("default", "editor", prog + "no-such-editor");
  click(w->cmdLaunchEditor);
  EXPECT_EQ(dlg.messages(), lines{"Could not start the editor: no program \"" + prog + "no-such-editor\" was found."});
}

// The "Add Tag" and "Add Attribute" dialogs on their own: only Add with
// something picked or typed returns a value.
TEST_F(manage_test, RuleDialogsReturnAValueOnlyForAddWithSomethingChosen) {
  std::string value = "untouched";
  const set_return_fn keep = [&](const std::string& v, const std::string&) { value = v; };
  frmAttrs attrs(nullptr, keep);
  EXPECT_EQ(frmTags(nullptr, keep).windowTitle() + ", " + attrs.windowTitle(), "Add Tag, Add Attribute");

  // Cancel, the close box, or Add with only a comment: an empty value.
  for (int ending = 0; ending < 3; ++ending) {
    value = "untouched";
    frmTags d(nullptr, keep);
    EXPECT_EQ(value, "");  // emptied at opening
    d.show();
    if (ending == 2) {
      QTest::keyClicks(d.txtComment, "a comment alone");
      click(d.cmdAdd);
    } else {
      click_row(d.lstTags, 1);
      ending == 0 ? click(d.cmdCancel) : (void)d.close();
    }
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(value, "") << ending;
  }

  // A custom name needs its box ticked; a second click deselects a name.
  attrs.show();
  EXPECT_FALSE(attrs.txtCus->isEnabled());
  click_row(attrs.lstTags, 3);
  EXPECT_TRUE(attrs.cmdAdd->isEnabled());
  click_row(attrs.lstTags, 3);
  EXPECT_FALSE(attrs.cmdAdd->isEnabled());
}

// A template made in the manager, chosen in the main window, is the one
// that cleans the page.
TEST_F(manage_test, ATemplateMadeHereCleansAPageThroughTheMainWindow) {
  const std::string page = "<html><head><meta name=Generator content=Word></head>"
                           "<body><p class=MsoNormal><span lang=EN>Hi</span></p></body></html>";
  const std::string source = tmp.write("docs/page.htm", page);
  const std::string reference = tmp.write("ref/page.htm", page);
  window_hooks().open_manager = show_manage_templates;
  frmMain main;
  main.Form_Load();
  on_modal<frmManage> manage([&](frmManage* m) {
    dlg.input_answers = {"Web"};
    click(m->cmdAddTemplate);
    pick(*m, "Web");
    add_names(m->cmdAddAttr, {"class"});
    click(m->cmdSave);
    click(m->cmdClose);
  });
  click(main.cmdManage);
  window_hooks().open_manager = nullptr;
  ASSERT_TRUE(manage.ran());

  main.cmbTemplates->setCurrentIndex(main.cmbTemplates->findText("Web"));
  main.add_file(source);
  click(main.cmdConvert);
  ASSERT_EQ(main.row_status(0), status_converted);
  std::string cleaned, expected;
  ASSERT_TRUE(read_file(main.row_text(0), cleaned));
  ASSERT_TRUE(read_file(clean_html(reference, reference, template_path("Web")), expected));
  EXPECT_EQ(cleaned, expected);
  EXPECT_EQ(ifind(cleaned, "class="), std::string::npos);
  EXPECT_NE(ifind(cleaned, "<meta"), std::string::npos) << "the built-in rules would drop it";
}

// The manager and its dialogs fit the screen (ctest runs this again on
// small screens and at 2x); the rule lists' buttons are reached by keys on
// their lists instead of letters.
using fit = manage_test;

TEST_F(fit, the_manager_and_its_dialogs_fit_and_keys_stay_unique) {
  auto w = open_window();
  w->show();
  pick(*w, "Site");
  expect_fits(w.get(), "template manager");
  expect_unique_keys(w.get(), "template manager",
                     {"cmdAddTag", "cmdRemTag", "cmdAddAttr", "cmdRemAttr", "cmdAddEmpty", "cmdRemEmpty",
                      "cmdAddFind", "cmdRemFind", "cmdAddRemTags", "cmdRemRemTags"});
  const QRect close(w->cmdClose->mapTo(w.get(), QPoint()), w->cmdClose->size());
  EXPECT_TRUE(w->rect().contains(close));
  const int before = w->lstTags->count();
  dlg.calls.clear();
  w->lstTags->setFocus();
  w->lstTags->setCurrentRow(0);
  QTest::keyClick(w->lstTags, Qt::Key_Delete);
  EXPECT_EQ(w->lstTags->count(), before - 1) << "Delete removes the rule";
  frmTags tags(w.get(), {});
  tags.show();
  expect_fits(&tags, "add tag");
  expect_unique_keys(&tags, "add tag");
}

// Pictures of the manager and its dialogs for a human to look at, written
// only when NUBRIX_SCREENSHOT_DIR names a folder (scripts/screenshots).
using screenshots = manage_test;

TEST_F(screenshots, template_manager) {
  if (screenshot_folder().empty()) GTEST_SKIP() << "NUBRIX_SCREENSHOT_DIR not set";
  apply_screenshot_look();
  auto save = [&](QWidget* w, const std::string& name) { ASSERT_TRUE(save_screenshot(w, name)); };
  cTemplate t = default_template();
  t.colEmpty = {"p", "b"};
  t.colEmpty_comment = {"", ""};
  t.colFind = {"&nbsp;", "<o:p></o:p>"};
  t.colReplace = {" ", ""};
  t.strTarget = "_blank";
  t.TempDescription = "Strips Word markup and opens links in a new window.";
  save_template("Web pages", t);
  save_template("Plain text", cTemplate{});

  frmManage w;
  w.show();
  save(&w, "manage-opened");
  click_row(w.lstTemplates, 0);
  save(&w, "manage-default");
  click_row(w.lstTemplates, 1 + (w.lstTemplates->item(1)->text() == "Plain text" ? 1 : 0));
  click_row(w.lstFind, 0);
  save(&w, "manage-user-template");

  frmTags tags(&w, {});
  tags.show();
  click_row(tags.lstTags, 1);
  save(&tags, "add-tag");
  frmAttrs attrs(&w, {});
  attrs.show();
  save(&attrs, "add-attribute");
}

}  // namespace
}  // namespace nx::test
