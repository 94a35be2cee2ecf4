// The Qt dialogs' translation of our filter strings.
#include <gtest/gtest.h>

#include "ui/main/qt_dialogs.h"

namespace nx {
namespace {

TEST(qt_dialog_filters, open_file_filters_become_qt_name_filters) {
  EXPECT_EQ(qt_name_filters("Convertible files (*.doc;*.htm)|*.doc;*.htm|All Files (*.*)|*.*"),
            (QStringList{"Convertible files (*.doc *.htm)", "All Files (*.*)"}));
  EXPECT_EQ(qt_name_filters("Templates|*.dat|broken"), (QStringList{"Templates (*.dat)"}));
  EXPECT_TRUE(qt_name_filters("").isEmpty());
}

}  // namespace
}  // namespace nx
