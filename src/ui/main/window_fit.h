// Windows that fit their screen: whatever the scale and the font, a window
// never asks for more room than the screen's free area, so every control
// stays reachable (the window's scroll area takes what does not fit).
#pragma once
#include <QSize>

class QScrollArea;
class QWidget;

namespace nx {

// The room a window may take on the screen it is on (or will open on):
// the screen's free area less the window manager's frame.
QSize screen_room(const QWidget* window);

// Sets the window's minimum size to what its layout needs (with the whole
// content of area, when given, in view), bounded by the room; sizes it to
// wanted (at least the minimum, at most the room) and centres it on the
// free area when it is not shown yet.
void fit_to_screen(QWidget* window, QSize wanted, QScrollArea* area = nullptr);

// A frameless scroll area around content that stretches with the window
// and scrolls only when the window is smaller than the content's minimum.
QScrollArea* scroll_area_for(QWidget* content, QWidget* parent);

}  // namespace nx
