#include "platform/ui/Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

void Dialogs::Warning(QWidget *parent, const QString &text)
{
    ShowMessage(parent, {QStringLiteral("警告"), text, Icon::Warning, {Button::Ok}, Button::Ok});
}

bool Dialogs::Confirm(QWidget *parent, const QString &text)
{
    return ShowMessage(parent,
                       {QStringLiteral("確認"), text, Icon::Question, {Button::Yes, Button::No}, Button::Yes}) ==
           Button::Yes;
}

void Dialogs::ErrorReport(QWidget *parent, const QString &title, const QString &text)
{
    ShowMessage(parent, {title, text, Icon::Error, {Button::Ok}, Button::Ok});
}

namespace {

// The description without the pattern list it may already end with ("すべて (*.jpg;*.bmp)").
// Parentheses that hold anything but patterns are part of the description.
QString WithoutShownPatterns(const QString &description)
{
    static const QRegularExpression trailing(QStringLiteral("\\s*\\(([^()]*)\\)\\s*$"));
    const QRegularExpressionMatch match = trailing.match(description);
    if (!match.hasMatch())
        return description;
    static const QRegularExpression separators(QStringLiteral("[;,\\s]+"));
    const QStringList tokens = match.captured(1).split(separators, Qt::SkipEmptyParts);
    if (tokens.isEmpty())
        return description;
    for (const QString &token : tokens)
        if (!token.contains(QLatin1Char('*')) && !token.contains(QLatin1Char('?')))
            return description;
    return description.left(match.capturedStart());
}

} // namespace

QStringList ConvertFilterText(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // QFileDialog takes the patterns from the last parentheses of an entry, separated by spaces:
        // the real ones take the place of any the description already shows.
        result << QStringLiteral("%1 (%2)").arg(WithoutShownPatterns(parts[i]), patterns);
    }
    return result;
}

bool HasWildcard(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

namespace {

QMessageBox::StandardButton ToStandard(Dialogs::Button b)
{
    switch (b) {
    case Dialogs::Button::Ok:
        return QMessageBox::Ok;
    case Dialogs::Button::Cancel:
        return QMessageBox::Cancel;
    case Dialogs::Button::Yes:
        return QMessageBox::Yes;
    case Dialogs::Button::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToQtIcon(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::None:
        return QMessageBox::NoIcon;
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::Error:
        return QMessageBox::Critical;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// Preview pane for the picture dialog: the selected file drawn to fit.
class PicturePreview : public QLabel {
public:
    PicturePreview()
    {
        setFixedSize(160, 160);
        setAlignment(Qt::AlignCenter);
        setFrameShape(QFrame::StyledPanel);
    }
    void ShowFile(const QString &path)
    {
        QImage image(path);
        if (image.isNull()) {
            setPixmap(QPixmap());
            return;
        }
        setPixmap(
            QPixmap::fromImage(image.scaled(size() - QSize(4, 4), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
};

} // namespace

Dialogs::Button Dialogs::ShowLiveMessage(QWidget *parent, const MessageRequest &request,
                                         const std::shared_ptr<SetText> &)
{
    return ShowMessage(parent, request);
}

Dialogs::Button QtDialogs::ShowMessage(QWidget *parent, const MessageRequest &request)
{
    return ShowLiveMessage(parent, request, nullptr);
}

Dialogs::Button QtDialogs::ShowLiveMessage(QWidget *parent, const MessageRequest &request,
                                           const std::shared_ptr<SetText> &retext)
{
    QMessageBox box(ToQtIcon(request.icon), request.title, request.text, QMessageBox::NoButton, parent);
    for (Button b : request.buttons)
        box.addButton(ToStandard(b));
    box.setDefaultButton(ToStandard(request.defaultButton));
    struct Retext {
        std::shared_ptr<SetText> set;
        ~Retext()
        {
            if (set)
                *set = nullptr;
        }
    } live{retext};
    if (live.set)
        *live.set = [&box](const QString &text) { box.setText(text); };
    const int result = box.exec();
    for (Button b : request.buttons)
        if (result == ToStandard(b))
            return b;
    for (Button b : {Button::Cancel, Button::No, Button::Ok})
        for (Button offered : request.buttons)
            if (b == offered)
                return b;
    return Button::Ok;
}

QStringList QtDialogs::GetFileNames(QWidget *parent, const FileRequest &request)
{
    QFileDialog dialog(parent, request.title, request.initialFolder);
    // Qt's own dialog, so that the preview pane can be added and tests see the same widget.
    dialog.setOption(QFileDialog::DontUseNativeDialog, request.picturePreview);
    dialog.setAcceptMode(request.mode == FileMode::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mode == FileMode::OpenMany ? QFileDialog::ExistingFiles
                       : request.mustExist                ? QFileDialog::ExistingFile
                                                          : QFileDialog::AnyFile);
    if (!request.filter.isEmpty())
        dialog.setNameFilters(ConvertFilterText(request.filter));
    if (!request.defaultExtension.isEmpty())
        dialog.setDefaultSuffix(request.defaultExtension);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (request.picturePreview) {
        if (auto *layout = dynamic_cast<QGridLayout *>(dialog.layout())) {
            auto *preview = new PicturePreview;
            layout->addWidget(preview, 0, layout->columnCount(), layout->rowCount(), 1);
            QObject::connect(&dialog, &QFileDialog::currentChanged, preview,
                             [preview](const QString &path) { preview->ShowFile(path); });
        }
    }
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return {};
        QStringList chosen = dialog.selectedFiles();
        if (request.mode != FileMode::Save || chosen.isEmpty() || !HasWildcard(chosen.front()))
            return chosen;
        // A pattern given as the name lists the matching files instead of naming one.
        const QFileInfo pattern(chosen.front());
        dialog.setDirectory(pattern.absolutePath());
        dialog.setNameFilter(pattern.fileName());
        dialog.selectFile(QString());
    }
}
