#include "app/QtJapanese.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

namespace {

// Qt 6 moved the file dialog's kinds of entry ("Folder", "%1 File") to a context that Debian's
// qtbase_ja does not translate yet; without these the dialog's type column is English.
class FileKindTexts : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char *context, const char *source, const char *, int) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        static const struct {
            const char *source;
            const char16_t *japanese;
        } kTexts[] = {
            {"Drive", u"ドライブ"},         {"%1 File", u"%1 ファイル"},     {"Folder", u"フォルダー"},
            {"File Folder", u"フォルダー"}, {"Shortcut", u"ショートカット"}, {"Alias", u"エイリアス"},
            {"Unknown", u"不明"},
        };
        for (const auto &text : kTexts)
            if (qstrcmp(source, text.source) == 0)
                return QString::fromUtf16(text.japanese);
        return {};
    }

    bool isEmpty() const override { return false; }
};

} // namespace

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
    // A child of the translator, so that both go together.
    QCoreApplication::installTranslator(new FileKindTexts(translator));
    return translator;
}
