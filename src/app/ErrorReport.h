#pragma once

#include <functional>

class Dialogs;
class QWidget;

// The application's general error report: runs a handler and shows an error that escapes it in a
// message box titled "Tapisto" with the error's text; EAbort stays silent. Returns whether the
// handler ran to its end. Nothing escapes towards Qt.
bool RunGuarded(Dialogs &dialogs, QWidget *parent, const std::function<void()> &handler);
