#pragma once

class QObject;
class QTranslator;

// Installs Qt's own Japanese texts (the buttons of message boxes, the file dialogs, the context
// menus of text fields and spin boxes) whatever the session's locale: the program speaks Japanese
// only. Returns the installed translator, owned by `owner`, or null when Qt's translation file is
// missing (its package is not installed), having said so on standard error.
QTranslator *InstallQtJapanese(QObject *owner);
