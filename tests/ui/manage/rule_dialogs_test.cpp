// The "Add Tag" and "Add Attribute" dialogs, driven as a user does.
#include "ui/manage/rule_dialogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "support/test_env.h"
#include "ui_driver.h"

namespace nx::test {
namespace {

struct returned {
  std::string value = "untouched";
  std::string comment = "untouched";
  int calls = 0;
  set_return_fn fn() {
    return [this](const std::string& v, const std::string& c) {
      value = v;
      comment = c;
      ++calls;
    };
  }
};

int row_of_name(QListWidget* list, const char* name) {
  const auto found = list->findItems(name, Qt::MatchExactly);
  return found.isEmpty() ? -1 : list->row(found.front());
}

class rule_dialog_test : public ::testing::Test {
 protected:
  void SetUp() override { qt_app(); }
  returned got;
};

TEST_F(rule_dialog_test, FixedListsKeepTheirOrderAndDuplicates) {
  frmTags tags(nullptr, got.fn());
  frmAttrs attrs(nullptr, got.fn());
  EXPECT_EQ(tags.windowTitle(), "Add Tag");
  EXPECT_EQ(attrs.windowTitle(), "Add Attribute");
  const QStringList t = lines_of(tags.lstTags);
  const QStringList a = lines_of(attrs.lstTags);
  ASSERT_EQ(t.size(), 126);
  ASSERT_EQ(a.size(), 118);
  EXPECT_EQ(t.mid(0, 4), qlist({"!doctype", "a", "acronym", "address"}));
  EXPECT_EQ(t.mid(120), qlist({"h5", "personname", "placename", "placetype", "street", "h3"}));
  EXPECT_EQ(t.count("p"), 2);
  EXPECT_EQ(t.count("xml"), 2);
  EXPECT_EQ(t.indexOf("!"), 116);
  EXPECT_EQ(a.mid(0, 3), qlist({"align", "valign", "src"}));
  EXPECT_EQ(a.mid(115), qlist({"vLink", "colspan", "rowspan"}));
  EXPECT_EQ(a.indexOf("http-equiv"), 27);
  QStringList unique = a;
  EXPECT_EQ(unique.removeDuplicates(), 0);
}

TEST_F(rule_dialog_test, OpeningClearsTheReturnedValueAndCancelKeepsItEmpty) {
  {
    frmTags d(nullptr, got.fn());
    EXPECT_EQ(got.calls, 1);
    EXPECT_EQ(got.value, "");
    EXPECT_EQ(got.comment, "");
    EXPECT_FALSE(d.Check1->isChecked());
    EXPECT_FALSE(d.txtCus->isEnabled());
    EXPECT_EQ(d.Label1->text(), "Comment: (optional)");
    d.show();
    click_row(d.lstTags, 1);
    click(d.cmdCancel);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(got.value, "");
  }
  {
    frmAttrs d(nullptr, got.fn());
    d.show();
    click_row(d.lstTags, 0);
    d.close();  // the close box
    EXPECT_EQ(got.value, "");
    EXPECT_EQ(got.calls, 2);
  }
}

TEST_F(rule_dialog_test, OneNameFillsTheCustomBoxAndCanBeCustomized) {
  frmTags d(nullptr, got.fn());
  d.show();
  const int meta = row_of_name(d.lstTags, "meta");
  click_row(d.lstTags, meta);
  EXPECT_EQ(d.txtCus->text(), "meta");
  EXPECT_TRUE(d.cmdAdd->isEnabled());
  click(d.Check1);
  ASSERT_TRUE(d.txtCus->isEnabled());
  QTest::keyClick(d.txtCus, Qt::Key_End);
  QTest::keyClicks(d.txtCus, "*");
  QTest::keyClicks(d.Text1, "charset and others");
  click(d.cmdAdd);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(got.value, "meta*");
  EXPECT_EQ(got.comment, "charset and others");
  // Unchecking "Customize" disables the box again.
  click(d.Check1);
  EXPECT_FALSE(d.txtCus->isEnabled());
}

TEST_F(rule_dialog_test, SeveralNamesComeBackInListOrderEachEndedByZero) {
  frmTags d(nullptr, got.fn());
  d.show();
  // Picked out of order; "p" occurs twice and both count.
  const int u = row_of_name(d.lstTags, "u");
  const int b = row_of_name(d.lstTags, "b");
  const int i = row_of_name(d.lstTags, "i");
  click_row(d.lstTags, u);
  click_row(d.lstTags, b);
  EXPECT_EQ(d.txtCus->text(), "");  // two picked: the box empties
  click_row(d.lstTags, i);
  QTest::keyClicks(d.Text1, "ignored");
  click(d.cmdAdd);
  EXPECT_EQ(got.value, std::string("b\0i\0u\0", 6));
  EXPECT_EQ(got.comment, "");
}

TEST_F(rule_dialog_test, AddIsEnabledOnlyWithSomethingToReturn) {
  frmAttrs d(nullptr, got.fn());
  d.show();
  EXPECT_TRUE(d.cmdAdd->isEnabled());  // before anything is touched
  click_row(d.lstTags, 3);
  EXPECT_TRUE(d.cmdAdd->isEnabled());
  click_row(d.lstTags, 3);  // a second click deselects it
  EXPECT_EQ(d.txtCus->text(), "");
  EXPECT_FALSE(d.cmdAdd->isEnabled());
  click(d.Check1);
  QTest::keyClicks(d.txtCus, "data-x");
  EXPECT_TRUE(d.cmdAdd->isEnabled());
  click(d.cmdAdd);
  EXPECT_EQ(got.value, "data-x");
}

TEST_F(rule_dialog_test, AddWithNothingChosenReturnsAnEmptyValue) {
  frmTags d(nullptr, got.fn());
  d.show();
  QTest::keyClicks(d.Text1, "a comment alone");
  click(d.cmdAdd);
  EXPECT_EQ(got.value, "");
  EXPECT_FALSE(d.isVisible());
}

}  // namespace
}  // namespace nx::test
