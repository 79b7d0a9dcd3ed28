#include "app/QtJapanese.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

QTranslator *InstallQtJapanese(QObject *owner)
{
    // Sizes, dates and file kinds in the file dialogs follow the default locale, not the translator.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto *translator = new QTranslator(owner);
    if (!translator->load(QStringLiteral("qtbase_ja"), folder) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        std::fprintf(stderr,
                     "tapisto: Qt の日本語訳 %s が読み込めません（パッケージ qt6-translations-l10n）。"
                     "ダイアログのボタンなどは英語で表示されます\n",
                     qUtf8Printable(QDir(folder).filePath(QStringLiteral("qtbase_ja.qm"))));
        return nullptr;
    }
    return translator;
}
