#pragma once

#include "app/FormMain.h"

// The list editor and the About box as the main window opens them, modally.
FormMainWindows ProgramWindows();
