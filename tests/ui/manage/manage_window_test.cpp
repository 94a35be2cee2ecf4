// The template manager window, driven through its controls with scripted
// prompts and messages.
#include "ui/manage/manage_window.h"

#include <sys/stat.h>

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
#include "ui_driver.h"

namespace nx::test {
namespace {

constexpr const char* update_first = "Please update current template, first.";

class manage_test : public program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    qt_app();
  }

  // A user template file written in the stored format.
  void make_template(const std::string& name, const cTemplate& t) { save_template(name, t); }

  std::unique_ptr<frmManage> open_window() {
    auto w = std::make_unique<frmManage>();
    w->show();
    return w;
  }

  int row_named(frmManage& w, const std::string& name) {
    const auto found = w.List1->findItems(QString::fromStdString(name), Qt::MatchExactly);
    return found.isEmpty() ? -1 : w.List1->row(found.front());
  }

  // Selects a library entry by clicking it.
  void pick(frmManage& w, const std::string& name) {
    const int row = row_named(w, name);
    ASSERT_GE(row, 0) << name;
    click_row(w.List1, row);
  }

  // Presses an "Add" button of a commented list and answers its dialog.
  void add_through_dialog(QPushButton* add, std::function<void(rule_dialog*)> answer) {
    on_modal<rule_dialog> reply([&](rule_dialog* d) {
      answer(d);
      if (d->isVisible()) d->reject();
    });
    click(add);
    EXPECT_TRUE(reply.ran());
  }

  static void pick_names(rule_dialog* d, std::initializer_list<const char*> names) {
    for (auto* n : names) {
      const auto found = d->lstTags->findItems(n, Qt::MatchExactly);
      ASSERT_FALSE(found.isEmpty()) << n;
      click_row(d->lstTags, d->lstTags->row(found.front()));
    }
  }

  static void custom_name(rule_dialog* d, const char* value, const char* comment) {
    click(d->Check1);
    QTest::keyClicks(d->txtCus, value);
    QTest::keyClicks(d->Text1, comment);
  }

  bool unsaved(frmManage& w) {
    return !w.List1->isEnabled() && w.cmdSave->isEnabled() && w.cmdCancelChange->isEnabled();
  }

  std::vector<std::string> file_lines(const std::string& name) {
    std::vector<std::string> lines;
    std::string text = read_all(template_path(name));
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }
};

cTemplate sample_template() {
  cTemplate t;
  t.colTags = {"o:*", "xml*"};
  t.colTags_comment = {"{office}", ""};
  t.colAttr = {"class"};
  t.colAttr_comment = {""};
  t.colEmpty = {"p"};
  t.colEmpty_comment = {""};
  t.colRemove = {"span*"};
  t.colRemove_comment = {""};
  t.colFind = {"&nbsp;", "a", "b"};
  t.colReplace = {" ", "A", "B"};
  t.strTarget = "_blank";
  t.strQuotation = "\"";
  t.TempDescription = "For the web site";
  return t;
}

TEST_F(manage_test, OpensWithNothingSelectedAndTheEditorDisabled) {
  make_template("Mine", sample_template());
  auto w = open_window();
  EXPECT_EQ(w->windowTitle(), "Manage Templates");
  EXPECT_EQ(lines_of(w->List1), qlist({default_template_name, "Mine"}));
  EXPECT_TRUE(w->List1->selectedItems().isEmpty());
  EXPECT_FALSE(w->Frame1->isEnabled());
  for (auto* list : {w->lstTags, w->lstAttr, w->lstEmpty, w->lstFind, w->lstRemoves})
    EXPECT_EQ(list->count(), 0);
  EXPECT_EQ(w->txtTempDesc->toPlainText(), "");
  EXPECT_FALSE(w->Command1->isEnabled());  // Rename
  EXPECT_FALSE(w->Command8->isEnabled());  // Remove
  EXPECT_FALSE(w->Command3->isEnabled());  // Launch Editor
  EXPECT_TRUE(w->Command7->isEnabled());
  EXPECT_TRUE(w->Command2->isEnabled());
  EXPECT_TRUE(w->Command9->isEnabled());
  EXPECT_FALSE(w->cmdSave->isEnabled());
  EXPECT_FALSE(w->cmdCancelChange->isEnabled());
  EXPECT_EQ(w->Frame1->title(), "Template");
}

TEST_F(manage_test, TheDefaultIsShownReadOnlyWithItsNote) {
  auto w = open_window();
  pick(*w, default_template_name);
  const cTemplate d = default_template();
  EXPECT_EQ(lines_of(w->lstTags), qlist(d.colTags));
  EXPECT_EQ(lines_of(w->lstAttr), qlist(d.colAttr));
  EXPECT_EQ(lines_of(w->lstRemoves), qlist(d.colRemove));
  EXPECT_EQ(w->lstTags->count(), 10);
  EXPECT_EQ(w->lstAttr->count(), 11);
  EXPECT_EQ(lines_of(w->lstRemoves), qlist({"span*", "![endif]*"}));
  EXPECT_EQ(w->lstEmpty->count(), 0);
  EXPECT_EQ(w->lstFind->count(), 0);
  EXPECT_TRUE(w->chkQuotation->isChecked());
  EXPECT_FALSE(w->chkTarget->isChecked());
  EXPECT_EQ(w->txtTarget->text(), "");
  EXPECT_EQ(w->txtTempDesc->toPlainText().toStdString(), default_template_note);
  EXPECT_FALSE(w->Frame1->isEnabled());
  EXPECT_FALSE(w->cmdAddTag->isEnabled());
  EXPECT_FALSE(w->txtTempDesc->isEnabled());
  EXPECT_FALSE(w->cmdSave->isEnabled());
  EXPECT_TRUE(w->List1->isEnabled());
  EXPECT_FALSE(w->Command1->isEnabled());
  EXPECT_FALSE(w->Command8->isEnabled());
  ASSERT_TRUE(w->Command3->isEnabled());

  // Typing into the read-only area changes nothing.
  QTest::keyClicks(w->txtTempDesc, "x");
  click(w->cmdAddFind);
  EXPECT_TRUE(w->List1->isEnabled());
  EXPECT_TRUE(dlg.calls.empty());

  click(w->Command3);
  EXPECT_EQ(dlg.messages(),
            std::vector<std::string>{"You can not edit the default template, please duplicate it, "
                                     "then edit it to suit your needs."});
  EXPECT_EQ(dlg.calls.back().icon, msg_icon::information);
}

TEST_F(manage_test, EditsEveryListAndSavesThemToTheFile) {
  make_template("Site", sample_template());
  auto w = open_window();
  pick(*w, "Site");
  ASSERT_TRUE(w->Frame1->isEnabled());
  EXPECT_EQ(lines_of(w->lstTags), qlist({"o:*", "xml*"}));
  EXPECT_EQ(lines_of(w->lstFind), qlist({R"("&nbsp;" -> " ")", R"("a" -> "A")", R"("b" -> "B")"}));
  EXPECT_TRUE(w->chkTarget->isChecked());
  EXPECT_EQ(w->txtTarget->text(), "_blank");
  EXPECT_TRUE(w->chkQuotation->isChecked());
  EXPECT_EQ(w->txtTempDesc->toPlainText(), "For the web site");
  EXPECT_FALSE(unsaved(*w));

  // Three tags at once: three rules without comments, in list order.
  add_through_dialog(w->cmdAddTag, [](rule_dialog* d) {
    EXPECT_EQ(d->windowTitle(), "Add Tag");
    pick_names(d, {"u", "b", "i"});
    click(d->cmdAdd);
  });
  EXPECT_TRUE(unsaved(*w));
  EXPECT_EQ(lines_of(w->lstTags), qlist({"o:*", "xml*", "b", "i", "u"}));
  EXPECT_EQ(w->lstTags->currentRow(), 4);

  add_through_dialog(w->cmdAddAttr, [](rule_dialog* d) {
    EXPECT_EQ(d->windowTitle(), "Add Attribute");
    custom_name(d, "data-id", "scripts");
    click(d->cmdAdd);
  });
  add_through_dialog(w->cmdAddEmpty, [](rule_dialog* d) {
    pick_names(d, {"font"});  // no comment typed: stored as "{}"
    click(d->cmdAdd);
  });
  add_through_dialog(w->cmdAddRemTags, [](rule_dialog* d) {
    pick_names(d, {"meta"});
    click(d->Check1);
    QTest::keyClick(d->txtCus, Qt::Key_End);
    QTest::keyClicks(d->txtCus, "*");
    QTest::keyClicks(d->Text1, "charset");
    click(d->cmdAdd);
  });
  // A dialog left with Cancel adds nothing.
  add_through_dialog(w->cmdAddRemTags, [](rule_dialog* d) {
    pick_names(d, {"div"});
    click(d->cmdCancel);
  });
  EXPECT_EQ(lines_of(w->lstRemoves), qlist({"span*", "meta*"}));

  // Removing: first tag, the only attribute of the file, "p" from the empties.
  click_row(w->lstTags, 0);
  click(w->cmdRemTag);
  click_row(w->lstAttr, 0);
  click(w->cmdRemAttr);
  click_row(w->lstEmpty, 0);
  click(w->cmdRemEmpty);
  click_row(w->lstRemoves, 0);
  click(w->cmdRemRemTags);

  // Find/replace: remove the second pair, edit the first, add one.
  click_row(w->lstFind, 1);
  click(w->cmdRemFind);
  dlg.input_answers = {"&nbsp;", "&#160;", "{x}", " {y} "};
  click_row(w->lstFind, 0);
  click(w->cmdRemEdit);
  click(w->cmdAddFind);
  EXPECT_EQ(w->lstFind->currentRow(), 2);
  ASSERT_EQ(dlg.calls.size(), 4u);
  EXPECT_EQ(dlg.calls[0].text + dlg.calls[0].title + dlg.calls[0].default_text,
            "Find what:Find&nbsp;");
  EXPECT_EQ(dlg.calls[1].text + dlg.calls[1].title + dlg.calls[1].default_text,
            "Replace with:Replace ");
  EXPECT_EQ(dlg.calls[2].default_text, "");

  w->txtTarget->clear();
  QTest::keyClicks(w->txtTarget, "_top");
  click(w->chkQuotation);
  w->txtTempDesc->selectAll();
  QTest::keyClicks(w->txtTempDesc, "Edited");
  EXPECT_TRUE(unsaved(*w));
  click(w->cmdSave);
  EXPECT_TRUE(w->List1->isEnabled());

  EXPECT_EQ(file_lines("Site"), (std::vector<std::string>{"[TEMPLATE]",
                                                          "DESCRIPTION=Edited",
                                                          "DEFAULT_TARGET=_top",
                                                          "QUOTATION=",
                                                          "[FINDREPLACE]",
                                                          "find:&nbsp;",
                                                          "replace:&#160;",
                                                          "find:b",
                                                          "replace:B",
                                                          "find:{x}",
                                                          "replace: {y} ",
                                                          "[TAGS]",
                                                          "xml*",
                                                          "b",
                                                          "i",
                                                          "u",
                                                          "[ATTRIBUTES]",
                                                          "data-id {scripts}",
                                                          "[REMOVE_EMPTY_TAGS]",
                                                          "font {}",
                                                          "[REMOVE_TAGS]",
                                                          "meta* {charset}"}));
  // Selecting another entry and coming back shows what the file holds.
  pick(*w, default_template_name);
  pick(*w, "Site");
  EXPECT_EQ(lines_of(w->lstFind),
            qlist({R"("&nbsp;" -> "&#160;")", R"("b" -> "B")", R"("{x}" -> " {y} ")"}));
  EXPECT_EQ(w->working_copy().colAttr_comment, std::vector<std::string>{"{scripts}"});
  EXPECT_FALSE(w->chkQuotation->isChecked());
}

TEST_F(manage_test, UnsavedEditsLockTheLibraryUntilSavedOrCancelled) {
  make_template("Site", sample_template());
  auto w = open_window();
  pick(*w, "Site");
  QTest::keyClick(w->txtTempDesc, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(w->txtTempDesc, "!");
  ASSERT_TRUE(unsaved(*w));

  // Each command refuses with the same message and leaves everything as it is.
  for (QPushButton* b :
       {w->Command9, w->Command7, w->Command8, w->Command1, w->Command2, w->Command3}) {
    dlg.calls.clear();
    click(b);
    EXPECT_EQ(dlg.messages(), std::vector<std::string>{update_first}) << b->text().toStdString();
    EXPECT_EQ(dlg.calls.front().icon, msg_icon::information);
    EXPECT_EQ(dlg.calls.size(), 1u) << "no prompt after the refusal";
  }
  dlg.calls.clear();
  QTest::keyClick(w.get(), Qt::Key_Escape);  // Escape is "Close"
  EXPECT_EQ(dlg.messages(), std::vector<std::string>{update_first});
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(lines_of(w->List1), qlist({default_template_name, "Site"}));
  EXPECT_EQ(w->txtTempDesc->toPlainText(), "For the web site!");
  click_row(w->List1, 0);  // the list takes no clicks
  EXPECT_EQ(w->txtTempDesc->toPlainText(), "For the web site!");

  // Cancel Changes restores the fields and unlocks the list.
  click(w->cmdCancelChange);
  EXPECT_EQ(w->txtTempDesc->toPlainText(), "For the web site");
  EXPECT_TRUE(w->List1->isEnabled());
  dlg.calls.clear();
  click(w->Command9);
  EXPECT_TRUE(dlg.calls.empty());
  EXPECT_FALSE(w->isVisible());
}

TEST_F(manage_test, DuplicateAsksForASelectionBeforeTheUnsavedTest) {
  auto w = open_window();
  click(w->Command2);
  EXPECT_EQ(dlg.messages(), std::vector<std::string>{"Select a template to duplicate."});
}

TEST_F(manage_test, CancelChangesKeepsRuleEditsUntilTheTemplateIsReloaded) {
  make_template("Site", sample_template());
  auto w = open_window();
  pick(*w, "Site");
  add_through_dialog(w->cmdAddTag, [](rule_dialog* d) {
    pick_names(d, {"table"});
    click(d->cmdAdd);
  });
  w->txtTarget->clear();
  click(w->cmdCancelChange);
  EXPECT_EQ(lines_of(w->lstTags), qlist({"o:*", "xml*", "table"}));
  EXPECT_EQ(w->txtTarget->text(), "_blank");
  EXPECT_TRUE(w->chkTarget->isChecked());
  EXPECT_TRUE(w->List1->isEnabled());
  EXPECT_TRUE(w->cmdSave->isEnabled());
  // The file is untouched until saved; reselecting drops the added tag.
  EXPECT_EQ(load_template("Site"), sample_template());
  pick(*w, default_template_name);
  pick(*w, "Site");
  EXPECT_EQ(lines_of(w->lstTags), qlist({"o:*", "xml*"}));
  EXPECT_FALSE(w->cmdSave->isEnabled());
}

TEST_F(manage_test, TargetBoxFollowsItsTextAndOnlyACheckedBoxIsSaved) {
  make_template("Site", sample_template());
  auto w = open_window();
  pick(*w, "Site");
  w->txtTarget->selectAll();
  QTest::keyClick(w->txtTarget, Qt::Key_Delete);
  EXPECT_FALSE(w->chkTarget->isChecked());
  QTest::keyClicks(w->txtTarget, "_self");
  EXPECT_TRUE(w->chkTarget->isChecked());
  click(w->chkTarget);  // unchecked, text stays
  EXPECT_EQ(w->txtTarget->text(), "_self");
  click(w->cmdSave);
  EXPECT_EQ(file_lines("Site").at(2), "DEFAULT_TARGET=");
  // After the save the box shows the saved (empty) target.
  EXPECT_EQ(w->txtTarget->text(), "");
  EXPECT_FALSE(w->chkTarget->isChecked());
}

TEST_F(manage_test, AFailedSaveIsReportedAndKeepsTheEdits) {
  make_template("Site", sample_template());
  auto w = open_window();
  pick(*w, "Site");
  QTest::keyClicks(w->txtTarget, "x");
  std::filesystem::remove_all(prog + "templates");
  click(w->cmdSave);
  ASSERT_EQ(dlg.messages().size(), 1u);
  EXPECT_EQ(dlg.messages()[0].rfind("Can not save template 'Site'.", 0), 0u);
  EXPECT_TRUE(unsaved(*w));
  EXPECT_EQ(w->txtTarget->text(), "_blankx");
  click(w->Command9);
  EXPECT_TRUE(w->isVisible());
  std::filesystem::create_directory(prog + "templates");
  click(w->cmdSave);
  EXPECT_EQ(load_template("Site").strTarget, "_blankx");
}

TEST_F(manage_test, TheDescriptionStopsAtWhatTheFileKeeps) {
  make_template("Site", cTemplate{});
  auto w = open_window();
  pick(*w, "Site");
  QTest::keyClicks(w->txtTempDesc, QString(250, 'x'));
  w->txtTempDesc->insertPlainText(QString::fromUtf8("ééééé"));  // pasted
  EXPECT_EQ(w->txtTempDesc->toPlainText(), QString(250, 'x') + QString::fromUtf8("éé"));
  click(w->cmdSave);
  pick(*w, default_template_name);
  pick(*w, "Site");
  EXPECT_EQ(w->working_copy().TempDescription, std::string(250, 'x') + "éé");
}

TEST_F(manage_test, FindReplaceEditsKeepTheirPlaceAndCancelledPromptsChangeNothing) {
  make_template("Site", sample_template());
  auto w = open_window();
  pick(*w, "Site");
  dlg.input_answers = {"x", "X"};
  click_row(w->lstFind, 0);
  click(w->cmdRemEdit);
  EXPECT_EQ(w->working_copy().colFind, (std::vector<std::string>{"x", "a", "b"}));
  EXPECT_EQ(w->working_copy().colReplace, (std::vector<std::string>{"X", "A", "B"}));
  EXPECT_EQ(w->lstFind->item(0)->text(), R"("x" -> "X")");

  // Cancel at either prompt or an empty find text: no change.
  const cTemplate before = w->working_copy();
  dlg.input_answers = {std::nullopt, "", "q", std::nullopt};
  click(w->cmdAddFind);
  click(w->cmdAddFind);
  click(w->cmdAddFind);
  click_row(w->lstFind, 1);
  dlg.input_answers = {""};
  click(w->cmdRemEdit);
  EXPECT_EQ(w->working_copy(), before);
  // An empty replacement is accepted.
  dlg.input_answers = {"<o:p></o:p>", ""};
  click(w->cmdAddFind);
  EXPECT_EQ(w->lstFind->item(3)->text(), R"("<o:p></o:p>" -> "")");

  // Remove and Edit with no line selected do nothing.
  click(w->cmdSave);
  dlg.calls.clear();
  click(w->cmdRemEdit);
  click(w->cmdRemFind);
  click(w->cmdRemTag);
  EXPECT_TRUE(dlg.calls.empty());
  EXPECT_EQ(w->lstFind->count(), 4);
  EXPECT_EQ(w->lstTags->count(), 2);
}

TEST_F(manage_test, LibraryCommandsRebuildTheListAndClearTheSelection) {
  make_template("Site", sample_template());
  auto w = open_window();

  // Duplicate of the default proposes the next free number and writes its rules.
  pick(*w, default_template_name);
  dlg.input_answers = {"Template_3"};
  click(w->Command2);
  ASSERT_FALSE(dlg.calls.empty());
  EXPECT_EQ(dlg.calls[0].text, "Copy as:");
  EXPECT_EQ(dlg.calls[0].default_text, "Template_3");
  EXPECT_EQ(lines_of(w->List1).size(), 3);
  EXPECT_TRUE(w->List1->selectedItems().isEmpty());
  EXPECT_FALSE(w->Frame1->isEnabled());
  pick(*w, "Template_3");
  EXPECT_EQ(w->working_copy().colTags, default_template().colTags);
  EXPECT_TRUE(w->Frame1->isEnabled());

  // Rename to the same name in other letters is refused; the list stays.
  dlg.calls.clear();
  dlg.input_answers = {"SITE"};
  pick(*w, "Site");
  click(w->Command1);
  EXPECT_EQ(dlg.calls[0].text, "Rename Template to:");
  EXPECT_EQ(dlg.calls[0].default_text, "Site");
  EXPECT_EQ(dlg.messages(), std::vector<std::string>{"SITE already exists. Type another name."});
  EXPECT_EQ(row_named(*w, "Site"), w->List1->currentRow());

  // Remove asks first; "Yes" deletes it and clears the selection.
  dlg.calls.clear();
  dlg.message_answers = {msg_result::yes};
  click(w->Command8);
  EXPECT_EQ(dlg.messages(),
            std::vector<std::string>{"Are you sure you want to delete template 'Site'?"});
  EXPECT_FALSE(exists(template_path("Site")));
  EXPECT_EQ(row_named(*w, "Site"), -1);
  EXPECT_TRUE(w->List1->selectedItems().isEmpty());

  // Add makes a new, empty user template; even a cancelled Add clears the selection.
  dlg.input_answers = {"  Fresh  "};
  click(w->Command7);
  pick(*w, "Fresh");
  EXPECT_EQ(w->working_copy(), cTemplate{});
  click(w->Command7);
  EXPECT_TRUE(w->List1->selectedItems().isEmpty());
  EXPECT_FALSE(w->Command8->isEnabled());
}

TEST_F(manage_test, LaunchEditorOpensTheFileWithTheEditorSetting) {
  make_template("Site", sample_template());
  const std::string seen = tmp.file("seen");
  const std::string editor =
      tmp.write("editor.sh", "#!/bin/sh\nprintf '%s' \"$1\" > '" + seen + "'\n");
  ::chmod(editor.c_str(), 0755);
  auto w = open_window();
  pick(*w, "Site");
  write_setting("default", "editor", editor);
  click(w->Command3);
  for (int i = 0; i < 250 && read_all(seen).empty(); ++i) QTest::qWait(20);
  EXPECT_EQ(read_all(seen), template_path("Site"));
  write_setting("default", "editor", "");  // no editor: nothing happens
  click(w->Command3);
  write_setting("default", "editor", prog + "no-such-editor");
  click(w->Command3);
  EXPECT_EQ(dlg.messages(), std::vector<std::string>{"External editor not found!"});
  EXPECT_EQ(dlg.calls.back().icon, msg_icon::exclamation);
}

TEST_F(manage_test, TheCloseBoxDropsUnsavedEditsWithoutAsking) {
  make_template("Site", sample_template());
  auto w = open_window();
  pick(*w, "Site");
  QTest::keyClicks(w->txtTempDesc, " and more");
  w->close();
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(dlg.calls.empty());
  EXPECT_EQ(load_template("Site"), sample_template());
}

// A template made in the manager, chosen in the main window, cleans a Word
// page with exactly its rules.
TEST_F(manage_test, ATemplateMadeHereCleansAWordPageThroughTheMainWindow) {
  const std::string page = corpus_path("word-html/06-word2002-com-explore-usascii.htm");
  if (page.empty()) GTEST_SKIP() << "sample corpus not present";
  std::string original;
  ASSERT_TRUE(read_file(page, original));
  const std::string source = tmp.write("docs/page.htm", original);
  const std::string reference = tmp.write("ref/page.htm", original);

  window_hooks().open_manager = show_manage_templates;
  frmMain main;
  main.Form_Load();
  on_modal<frmManage> manage([&](frmManage* m) {
    dlg.input_answers = {"Web", "Microsoft", "MS"};
    click(m->Command7);
    pick(*m, "Web");
    add_through_dialog(m->cmdAddAttr, [](rule_dialog* d) {
      pick_names(d, {"class", "lang"});
      click(d->cmdAdd);
    });
    add_through_dialog(m->cmdAddRemTags, [](rule_dialog* d) {
      custom_name(d, "span*", "Word's character styles");
      click(d->cmdAdd);
    });
    click(m->cmdAddFind);
    QTest::keyClicks(m->txtTarget, "_blank");
    click(m->cmdSave);
    click(m->Command9);
  });
  click(main.cmdManage);
  window_hooks().open_manager = nullptr;
  ASSERT_TRUE(manage.ran());
  EXPECT_EQ(main.cmbTemplates->currentIndex(), 0);

  main.cmbTemplates->setCurrentIndex(main.cmbTemplates->findText("Web"));
  main.add_file(source);
  click(main.cmdConvert);
  ASSERT_EQ(main.row_status(0), status_converted);
  std::string cleaned;
  ASSERT_TRUE(read_file(main.row_text(0), cleaned));

  // Byte for byte what the cleaner makes of the saved template...
  const std::string work = clean_html(reference, reference, template_path("Web"));
  std::string expected;
  ASSERT_TRUE(read_file(work, expected));
  EXPECT_EQ(cleaned, expected);
  // ...which is these rules and no others.
  EXPECT_EQ(ifind(cleaned, "class="), std::string::npos);
  EXPECT_EQ(ifind(cleaned, " lang="), std::string::npos);
  EXPECT_EQ(ifind(cleaned, "<span"), std::string::npos);
  EXPECT_EQ(cleaned.find("Microsoft"), std::string::npos);
  EXPECT_NE(cleaned.find("MS"), std::string::npos);
  EXPECT_NE(ifind(cleaned, "<meta"), std::string::npos);  // the built-in rules would drop these
  EXPECT_NE(ifind(cleaned, "style="), std::string::npos);
  size_t links = 0;
  for (size_t at = ifind(cleaned, "<a href"); at != std::string::npos;
       at = ifind(cleaned, "<a href", at + 1), ++links)
    EXPECT_NE(cleaned.substr(at, cleaned.find('>', at) - at).find("target=\"_blank\""),
              std::string::npos);
  EXPECT_EQ(links, 7u);
}

}  // namespace
}  // namespace nx::test
