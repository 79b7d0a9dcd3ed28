#include "listedit/DropCollector.h"

#include "platform/AsciiText.h"
#include "platform/DirEnum.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"

#include <algorithm>

namespace {

// The walk reports its progress (and may be stopped) about this often: entries or paths looked at.
constexpr unsigned kStepsPerTick = 64;

// The formats that the plug-ins shipped with the program read: files of these kinds are pictures
// the user can have by switching the plug-in option on, not files of another kind.
constexpr std::string_view kPluginExtensions[] = {".png", ".gif", ".webp", ".tif", ".tiff"};

std::string NameOf(const std::string &nativePath)
{
    const size_t slash = nativePath.rfind('/');
    return slash == std::string::npos ? nativePath : nativePath.substr(slash + 1);
}

// The extension of a name CP932 cannot hold, as CP932 when it is representable (it usually is ASCII).
std::string Cp932ExtensionOf(std::string_view nativeName)
{
    const size_t dot = nativeName.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    try {
        return Utf8ToCp932(nativeName.substr(dot));
    } catch (const EEncodingError &) {
        return {};
    }
}

} // namespace

bool IsPictureExtension(std::string_view cp932Name, std::string_view filterText)
{
    const std::string ext = LowerAsciiText(ExtractFileExt(cp932Name));
    return !ext.empty() && filterText.find(ext) != std::string_view::npos;
}

void DropSkips::Add(DropSkipReason reason, std::string nativePath)
{
    Group &group = groups_[static_cast<size_t>(reason)];
    ++group.count;
    if (group.examples.size() < kExamples)
        group.examples.push_back(std::move(nativePath));
}

bool DropSkips::Empty() const
{
    return std::all_of(groups_.begin(), groups_.end(), [](const Group &g) { return g.count == 0; });
}

std::string DropSkipMessage(const DropSkips &skips)
{
    struct Paragraph {
        DropSkipReason reason;
        const char *text; // %s: the count
        bool wholePaths;  // folders and unrepresentable paths are shown whole, files by name
    };
    static const Paragraph paragraphs[] = {
        {DropSkipReason::NotPicture, "%s 個のファイルは画像ではないため追加しませんでした。", false},
        {DropSkipReason::PluginsOff,
         "%s 個のファイルは、メインウィンドウの「ツール」メニューの「Susieプラグインを使用」がオフのため"
         "追加しませんでした（オンにすると PNG・GIF・WebP・TIFF を読めます）。",
         false},
        {DropSkipReason::NoPlugin,
         "%s 個のファイルは、その形式を読む Susie プラグインが見つからないため追加しませんでした。", false},
        {DropSkipReason::UnreadableFolder,
         "%s 個のフォルダーは読めない（アクセス権がないか、見つからない）ため、中の画像を追加できませんでした。", true},
        {DropSkipReason::NotCp932,
         "%s 個の画像またはフォルダーは、パスに Shift-JIS (CP932) で表せない文字が含まれているため"
         "追加しませんでした。",
         true},
    };
    std::string message;
    for (const Paragraph &p : paragraphs) {
        const DropSkips::Group &group = skips[p.reason];
        if (group.count == 0)
            continue;
        if (!message.empty())
            message += "\n\n";
        message += FormatMessage(p.text, {std::to_string(group.count)});
        for (const std::string &path : group.examples)
            message += "\n\u3000" + (p.wholePaths ? path : NameOf(path));
        if (group.count > group.examples.size())
            message += "\n\u3000" + FormatMessage("…ほか %s 個", {std::to_string(group.count - group.examples.size())});
    }
    return message;
}

DropCollector::DropCollector(std::string filterText, bool pluginsEnabled, PictureSink sink, Tick tick)
    : filterText_(std::move(filterText)), pluginsEnabled_(pluginsEnabled), sink_(std::move(sink)),
      tick_(std::move(tick))
{
}

bool DropCollector::KeepGoing()
{
    if (stopped_)
        return false;
    if (tick_ && ++stepsSinceTick_ >= kStepsPerTick) {
        stepsSinceTick_ = 0;
        stopped_ = !tick_(progress_);
    }
    return !stopped_;
}

DropSkipReason DropCollector::ReasonForExtension(std::string_view cp932Extension) const
{
    const std::string ext = LowerAsciiText(cp932Extension);
    const bool pluginFormat =
        std::find(std::begin(kPluginExtensions), std::end(kPluginExtensions), ext) != std::end(kPluginExtensions);
    if (!pluginFormat)
        return DropSkipReason::NotPicture;
    return pluginsEnabled_ ? DropSkipReason::NoPlugin : DropSkipReason::PluginsOff;
}

void DropCollector::AddFile(const std::string &cp932Path, const std::string &nativePath)
{
    if (IsPictureExtension(ExtractFileName(cp932Path), filterText_)) {
        ++progress_.pictures;
        sink_(cp932Path);
    } else {
        skipped_.Add(ReasonForExtension(ExtractFileExt(cp932Path)), nativePath);
    }
}

void DropCollector::SkipUnrepresentableFile(const std::string &nativePath, std::string_view nativeName)
{
    const std::string ext = Cp932ExtensionOf(nativeName);
    // A picture it would be is refused for its path; anything else for what it is.
    if (!ext.empty() && IsPictureExtension(ext, filterText_))
        skipped_.Add(DropSkipReason::NotCp932, nativePath);
    else
        skipped_.Add(ReasonForExtension(ext), nativePath);
}

void DropCollector::QueueFolder(std::string path, size_t root, const FileIdentity &id)
{
    if (reached_.emplace(root, id.device, id.inode).second)
        queue_.push_back({std::move(path), root});
}

void DropCollector::Collect(const std::vector<std::string> &nativePaths)
{
    for (size_t item = 0; item < nativePaths.size(); ++item) {
        if (!KeepGoing())
            return;
        const std::string &native = nativePaths[item];
        std::string path;
        bool representable = true;
        try {
            path = FromNativePath(native);
        } catch (const EEncodingError &) {
            representable = false;
        }
        if (const std::optional<FileIdentity> folder = FolderIdentity(native)) {
            if (representable)
                QueueFolder(IncludeTrailingSeparator(path), item, *folder);
            else
                skipped_.Add(DropSkipReason::NotCp932, native);
        } else if (representable) {
            AddFile(path, native);
        } else {
            SkipUnrepresentableFile(native, NameOf(native));
        }
    }
    // The queue grows while it is walked: subfolders go behind every folder already queued.
    for (size_t i = 0; i < queue_.size() && !stopped_; ++i)
        WalkFolder(QueuedFolder(queue_[i])); // a copy: walking it appends to the queue
}

void DropCollector::WalkFolder(const QueuedFolder &folder)
{
    const DirListing listing = ListDirectory(folder.path);
    const std::string &native = listing.nativeFolder;
    ++progress_.folders;
    progress_.nativeFolder = native;
    if (!listing.opened) {
        skipped_.Add(DropSkipReason::UnreadableFolder, native.empty() ? Cp932ToUtf8Lossy(folder.path) : native);
        return;
    }
    for (const DirEntry &entry : listing.entries) {
        if (!KeepGoing())
            return;
        const std::string nativePath = native + entry.nativeName;
        if (entry.attributes & faDirectory) {
            if (entry.representable)
                QueueFolder(folder.path + entry.name + kPathSeparator, folder.root, entry.identity);
            else
                skipped_.Add(DropSkipReason::NotCp932, nativePath);
        } else if (entry.representable) {
            AddFile(folder.path + entry.name, nativePath);
        } else {
            SkipUnrepresentableFile(nativePath, entry.nativeName);
        }
    }
}
