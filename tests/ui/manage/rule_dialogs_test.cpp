// The "Add Tag" and "Add Attribute" dialogs, driven as a user does.
#include "ui/manage/rule_dialogs.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "support/test_env.h"
#include "ui/ui_driver.h"

namespace nx::test {
namespace {

TEST(rule_dialog_test, OnlyAddWithSomethingPickedOrTypedReturnsAValue) {
  qt_app();
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
      QTest::keyClicks(d.Text1, "a comment alone");
      click(d.cmdAdd);
    } else {
      click_row(d.lstTags, 1);
      ending == 0 ? click(d.cmdCancel) : (void)d.close();
    }
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(value, "") << ending;
  }

  attrs.show();
  EXPECT_FALSE(attrs.txtCus->isEnabled());
  click_row(attrs.lstTags, 3);
  EXPECT_TRUE(attrs.cmdAdd->isEnabled());
  click_row(attrs.lstTags, 3);  // a second click deselects it
  EXPECT_FALSE(attrs.cmdAdd->isEnabled());
  click(attrs.Check1);
  QTest::keyClicks(attrs.txtCus, "data-x");
  click(attrs.cmdAdd);
  EXPECT_EQ(value, "data-x");
}

}  // namespace
}  // namespace nx::test
