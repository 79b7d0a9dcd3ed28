// The list editor's drop: files and folders dropped on the window become rows.
#include "listedit/DropCollector.h"
#include "listedit/Form2.h"
#include "listedit/ListEditorHost.h"
#include "listedit/ProgressRun.h"
#include "listedit/WallPaperGridModel.h"
#include "listedit/WallPaperList.h"
#include "picture/Graphic.h"
#include "picture/PictureFormats.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/QtText.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace {

std::vector<std::string> LocalFiles(const QMimeData *mime)
{
    std::vector<std::string> paths;
    if (mime == nullptr)
        return paths;
    for (const QUrl &url : mime->urls())
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    return paths;
}

// A long path keeps its start and its end, so that the dialog keeps its width.
QString ElideMiddle(const QString &text, qsizetype maxLength)
{
    if (text.size() <= maxLength)
        return text;
    const qsizetype head = (maxLength - 1) / 2;
    return text.left(head) + QStringLiteral("…") + text.right(maxLength - 1 - head);
}

QString DropProgressText(const DropCollector::Progress &progress)
{
    return QStringLiteral("フォルダーを調べています…（Esc で中止）\n見つかった画像：%1 枚　調べたフォルダー：%2 個\n%3")
        .arg(progress.pictures)
        .arg(progress.folders)
        .arg(ElideMiddle(Utf8ToQString(progress.nativeFolder), 60));
}

// What the walk hands back; shared with the worker, which may outlive a stopped drop.
struct DropFound {
    WallPaperList entries;
    DropSkips skips;
};

} // namespace

void TForm2::WMDropFiles(const std::vector<std::string> &nativePaths)
{
    if (activeDrop_ != nullptr)
        return;
    ProgressRun run(this, QStringLiteral("画像の追加"));
    activeDrop_ = &run;
    struct ActiveDrop {
        ProgressRun *&active;
        ~ActiveDrop() { active = nullptr; }
    } activeGuard{activeDrop_};

    auto found = std::make_shared<DropFound>();
    const bool completed = run.Run([found, nativePaths, filter = PictureFilterText(TGraphic::ClassInfo()),
                                    plugins = host_.PluginsEnabled()](ProgressRun::Control &control) {
        DropCollector collector(
            filter, plugins,
            [&found](const std::string &path) {
                found->entries.push_back({path, std::string(kPositionTile), {}});
            },
            [&control](const DropCollector::Progress &progress) {
                control.SetText(DropProgressText(progress));
                return !control.StopRequested();
            });
        collector.Collect(nativePaths);
        found->skips = collector.Skipped();
    });
    // A stopped drop adds nothing: the list stays exactly as it was before the drop.
    if (completed) {
        model_->Append(found->entries);
        model_->SetModified(true);
        if (!found->skips.Empty())
            dialogs_.Warning(this, Utf8ToQString(DropSkipMessage(found->skips)));
    }
    if (closeAfterDrop_) {
        closeAfterDrop_ = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void TForm2::dragEnterEvent(QDragEnterEvent *event)
{
    if (activeDrop_ == nullptr && !LocalFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void TForm2::dragMoveEvent(QDragMoveEvent *event)
{
    if (activeDrop_ == nullptr && !LocalFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void TForm2::dropEvent(QDropEvent *event)
{
    std::vector<std::string> paths = LocalFiles(event->mimeData());
    if (paths.empty() || activeDrop_ != nullptr)
        return;
    event->acceptProposedAction();
    // The walk runs after the drop has been answered, so the program the files came from is not
    // kept waiting for a large tree.
    QMetaObject::invokeMethod(
        this, [this, paths = std::move(paths)] { Guarded([&] { WMDropFiles(paths); }); }, Qt::QueuedConnection);
}
