#include "listedit/DropCollector.h"

#include "platform/AsciiText.h"
#include "platform/DirEnum.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"

namespace {

// Lets the window repaint about this often (entries listed or paths looked at).
constexpr unsigned kStepsPerTick = 64;

} // namespace

bool IsPictureExtension(std::string_view cp932Name, std::string_view filterText)
{
    const std::string ext = LowerAsciiText(ExtractFileExt(cp932Name));
    return !ext.empty() && filterText.find(ext) != std::string_view::npos;
}

DropCollector::DropCollector(std::string filterText, PictureSink sink, Tick tick)
    : filterText_(std::move(filterText)), sink_(std::move(sink)), tick_(std::move(tick))
{
}

bool DropCollector::KeepGoing()
{
    if (stopped_)
        return false;
    if (tick_ && ++stepsSinceTick_ >= kStepsPerTick) {
        stepsSinceTick_ = 0;
        stopped_ = !tick_();
    }
    return !stopped_;
}

// The extension test for a name CP932 cannot hold: its extension may still be plain ASCII.
bool DropCollector::NativeNameIsPicture(std::string_view nativeName) const
{
    const size_t dot = nativeName.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    try {
        return IsPictureExtension(Utf8ToCp932(nativeName.substr(dot)), filterText_);
    } catch (const EEncodingError &) {
        return false;
    }
}

void DropCollector::Collect(const std::vector<std::string> &nativePaths)
{
    std::vector<QueuedFolder> queue;
    for (const std::string &native : nativePaths) {
        if (!KeepGoing())
            return;
        std::string path;
        bool representable = true;
        try {
            path = FromNativePath(native);
        } catch (const EEncodingError &) {
            representable = false;
        }
        if (const std::optional<FileIdentity> folder = FolderIdentity(native)) {
            if (representable)
                queue.push_back({IncludeTrailingSeparator(path), -1, *folder});
            else
                refused_.push_back(native);
        } else if (representable) {
            if (IsPictureExtension(ExtractFileName(path), filterText_))
                sink_(path);
        } else {
            const size_t slash = native.rfind('/');
            if (NativeNameIsPicture(slash == std::string::npos ? native : native.substr(slash + 1)))
                refused_.push_back(native);
        }
    }
    // The queue grows while it is walked: subfolders go behind every folder already queued.
    for (size_t i = 0; i < queue.size() && !stopped_; ++i)
        WalkFolder(i, queue);
}

bool DropCollector::IsOwnAncestor(const std::vector<QueuedFolder> &queue, size_t index)
{
    for (long up = queue[index].parent; up >= 0; up = queue[static_cast<size_t>(up)].parent)
        if (queue[static_cast<size_t>(up)].id == queue[index].id)
            return true;
    return false;
}

void DropCollector::WalkFolder(size_t index, std::vector<QueuedFolder> &queue)
{
    // A link back into the folder's own ancestry would queue the same folders for ever.
    if (IsOwnAncestor(queue, index))
        return;
    const std::string cp932Folder = queue[index].path; // a copy: walking it appends to the queue
    const DirListing listing = ListDirectory(cp932Folder);
    const std::string &native = listing.nativeFolder;

    for (const DirEntry &entry : listing.entries) {
        if (!KeepGoing())
            return;
        if (entry.attributes & faDirectory) {
            if (entry.representable)
                queue.push_back({cp932Folder + entry.name + kPathSeparator, static_cast<long>(index), entry.identity});
            else
                refused_.push_back(native + entry.nativeName);
        } else if (entry.representable) {
            if (IsPictureExtension(entry.name, filterText_))
                sink_(cp932Folder + entry.name);
        } else if (NativeNameIsPicture(entry.nativeName)) {
            refused_.push_back(native + entry.nativeName);
        }
    }
}
