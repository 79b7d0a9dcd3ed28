#pragma once

#include <QApplication>

// The widget tests need one application object for the whole run.
inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "test_shell";
    static char *argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
}
