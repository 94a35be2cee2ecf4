// The program's own pictures, drawn at run time.
#pragma once
#include <QIcon>
#include <QPixmap>

namespace nx::pictures {

// Pictures are drawn at the pixel ratio of the screens (sharp at 2x), in
// the size given in logical pixels. Icons are drawn at the size asked for;
// the arrow takes the palette's button text colour, so it shows on dark
// palettes too.

// A transparent picture of width x height logical pixels to draw on.
QPixmap canvas(int width, int height);
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
