#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QScreen;
class QWidget;

// The client geometry that puts a window's frame (the client rectangle grown by `frame`) inside
// `available`: a window larger than the area shrinks, though not below `minimum` (client size),
// and then moves in. A window that fits stays where it is.
QRect FitIntoArea(const QRect &client, const QMargins &frame, const QRect &available, const QSize &minimum);

// The screen a top-level window opens on: the one under its top left corner, else its parent's,
// else the primary screen.
QScreen *ScreenOf(const QWidget *window);

// Fits a top-level window, before it is shown, into the available area of the screen it opens on,
// so that a large scale factor or a small screen leaves no part of it out of reach.
void FitToScreen(QWidget *window);
