// The program's own pictures, drawn at run time.
#pragma once
#include <QIcon>
#include <QPixmap>

namespace nx::pictures {

// The 32 x 32 program logo: a page with a sparkle.
QPixmap logo(int size = 32);
// The banner behind the toolbar, width x height pixels.
QPixmap banner(int width, int height);
// Toolbar buttons.
QIcon mode_icon();      // wizard / normal page
QIcon settings_icon();  // gear
QIcon help_icon();      // question mark
// The small downward arrow of the add-menu buttons.
QIcon arrow_icon();
// The tall picture at the left of the wizard pages.
QPixmap wizard_side(int width, int height);

}  // namespace nx::pictures
