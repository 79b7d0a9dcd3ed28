#include "QtFuzzApp.h"

#include <QGuiApplication>

#include <cstdlib>

void EnsureGuiApplication()
{
    if (QGuiApplication::instance() != nullptr)
        return;
    // Readers warn about every broken input; millions of lines would only slow the fuzzer down.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "tapisto-fuzz";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = new QGuiApplication(argc, argv); // lives until the process ends
    (void)app;
}
