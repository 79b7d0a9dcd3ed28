#include "Dialogs.h"

#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
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

QStringList ConvertFilterText(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // QFileDialog takes the patterns from the last parentheses of an entry; the description
        // may already show them, so always append the real ones.
        result << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return result;
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

Dialogs::Button QtDialogs::ShowMessage(QWidget *parent, const MessageRequest &request)
{
    QMessageBox box(ToQtIcon(request.icon), request.title, request.text, QMessageBox::NoButton, parent);
    for (Button b : request.buttons)
        box.addButton(ToStandard(b));
    box.setDefaultButton(ToStandard(request.defaultButton));
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
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

Dialogs::Button FakeDialogs::ShowMessage(QWidget *, const MessageRequest &request)
{
    messages.push_back(request);
    if (answers_.empty())
        return request.defaultButton;
    Button b = answers_.front();
    answers_.pop_front();
    return b;
}

QStringList FakeDialogs::GetFileNames(QWidget *, const FileRequest &request)
{
    fileRequests.push_back(request);
    if (fileNames_.empty())
        return {};
    QStringList names = fileNames_.front();
    fileNames_.pop_front();
    return names;
}
