// The "Add Tag" and "Add Attribute" dialogs, driven as a user does.
#include "ui/manage/rule_dialogs.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "support/test_env.h"
#include "ui_driver.h"

namespace nx::test {
namespace {

class rule_dialog_test : public ::testing::Test {
 protected:
  void SetUp() override { qt_app(); }
  set_return_fn keep() {
    return [this](const std::string& v, const std::string& c) {
      value = v;
      comment = c;
    };
  }
  std::string value = "untouched";
  std::string comment = "untouched";
};

TEST_F(rule_dialog_test, FixedListsKeepTheirOrderAndDuplicates) {
  frmTags tags(nullptr, keep());
  frmAttrs attrs(nullptr, keep());
  EXPECT_EQ(tags.windowTitle(), "Add Tag");
  EXPECT_EQ(attrs.windowTitle(), "Add Attribute");
  const QStringList t = lines_of(tags.lstTags);
  QStringList a = lines_of(attrs.lstTags);
  ASSERT_EQ(t.size(), 126);
  ASSERT_EQ(a.size(), 118);
  EXPECT_EQ(t.mid(0, 3), qlist({"!doctype", "a", "acronym"}));
  EXPECT_EQ(t.mid(120), qlist({"h5", "personname", "placename", "placetype", "street", "h3"}));
  EXPECT_EQ(t.count("p"), 2);
  EXPECT_EQ(t.count("xml"), 2);
  EXPECT_EQ(t.indexOf("!"), 116);
  EXPECT_EQ(a.mid(0, 3), qlist({"align", "valign", "src"}));
  EXPECT_EQ(a.mid(115), qlist({"vLink", "colspan", "rowspan"}));
  EXPECT_EQ(a.indexOf("http-equiv"), 27);
  EXPECT_EQ(a.removeDuplicates(), 0);
}

TEST_F(rule_dialog_test, AnyEndingButAddLeavesAnEmptyValue) {
  for (int ending = 0; ending < 3; ++ending) {
    value = "untouched";
    frmTags d(nullptr, keep());
    EXPECT_EQ(value, "");  // emptied at opening
    d.show();
    EXPECT_FALSE(d.txtCus->isEnabled());
    if (ending == 2) {
      QTest::keyClicks(d.Text1, "a comment alone");
      click(d.cmdAdd);  // nothing picked, nothing typed
    } else {
      click_row(d.lstTags, 1);
      ending == 0 ? click(d.cmdCancel) : (void)d.close();
    }
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(value, "") << ending;
  }
}

TEST_F(rule_dialog_test, AddIsEnabledOnlyWithSomethingToReturn) {
  frmAttrs d(nullptr, keep());
  d.show();
  click_row(d.lstTags, 3);
  EXPECT_TRUE(d.cmdAdd->isEnabled());
  click_row(d.lstTags, 3);  // a second click deselects it
  EXPECT_EQ(d.txtCus->text(), "");
  EXPECT_FALSE(d.cmdAdd->isEnabled());
  click(d.Check1);
  QTest::keyClicks(d.txtCus, "data-x");
  EXPECT_TRUE(d.cmdAdd->isEnabled());
  click(d.cmdAdd);
  EXPECT_EQ(value, "data-x");
}

}  // namespace
}  // namespace nx::test
