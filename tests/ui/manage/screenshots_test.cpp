// Pictures of the template manager and its dialogs for a human to look at:
// written only when NUBRIX_SCREENSHOT_DIR names a folder.
#include "support/test_env.h"
#include "ui/manage/manage_window.h"
#include "ui/manage/rule_dialogs.h"
#include "ui/ui_driver.h"

namespace nx::test {
namespace {

using screenshots = program_test;

TEST_F(screenshots, template_manager) {
  if (screenshot_folder().empty()) GTEST_SKIP() << "NUBRIX_SCREENSHOT_DIR not set";
  qt_app();
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
  click_row(w.List1, 0);
  save(&w, "manage-default");
  click_row(w.List1, 1 + (w.List1->item(1)->text() == "Plain text" ? 1 : 0));
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
