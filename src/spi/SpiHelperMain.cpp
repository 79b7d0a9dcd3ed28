// tapisto-spihelper: runs the plug-ins' code for the plug-in host of one Tapisto process, so that a
// plug-in that crashes or hangs costs one picture, never the program. It talks to its host over the
// socket on descriptor 3 and ends when the host goes away.
#include "platform/DynLib.h"
#include "spi/SpiModule.h"
#include "spi/SpiProtocol.h"
#include "spi/SpiWire.h"
#include "spilocal/SpiLocalShare.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSocket = 3;
// Blocks from this size on live in memory files, which reach the host without a copy.
constexpr size_t kShareFrom = 64 * 1024;

// A library the host opened, kept loaded while its entry points are called.
struct Library : SpiEntryPoints {
    std::unique_ptr<DynLib> Lib;
};

std::map<uint32_t, Library> libraries;
uint32_t nextLibrary = 1;

[[noreturn]] void HostGone()
{
    std::_Exit(0);
}

void Send(uint32_t type, const BodyWriter &body, const std::vector<int> &fds = {})
{
    if (!SendFrame(kSocket, type, body.Body(), fds))
        HostGone();
}

// What the host answered during the current call: a non-zero answer to any event asks the plug-in to
// stop. Events are not waited for; the answers are taken whenever the helper looks.
bool stopAsked = false;

class RowRing;
RowRing *currentRing = nullptr;
void TakeAnswer(const SpiFrame &frame);

// Takes the answers that arrived, without waiting for any.
void DrainAnswers()
{
    SpiFrame frame;
    while (ReceiveFrame(kSocket, frame, 0) == ReceiveResult::Frame)
        TakeAnswer(frame);
}

// The rows of one GetPictureRows call: a ring of shared memory that the host reads the blocks from,
// each block's space given back when the host acknowledges it.
class RowRing {
public:
    // Room for a few batches; a row longer than the ring is handed over without its pixels, which the
    // host refuses (no picture within the memory guard has one).
    RowRing()
    {
        fd_ = ::memfd_create("spirows", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd_ < 0 || ::ftruncate(fd_, off_t(size_)) != 0 ||
            ::fcntl(fd_, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) != 0)
            return;
        void *p = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (p != MAP_FAILED)
            base_ = static_cast<char *>(p);
    }
    ~RowRing()
    {
        if (base_ != nullptr)
            ::munmap(base_, size_);
        if (fd_ >= 0)
            ::close(fd_);
    }
    RowRing(const RowRing &) = delete;
    RowRing &operator=(const RowRing &) = delete;

    // Room for `bytes` for the next frame, at `offset`; waits for the host to give space back. Null
    // when the ring is missing or too small.
    char *Reserve(uint64_t bytes, uint64_t &offset)
    {
        if (base_ == nullptr || bytes > size_)
            return nullptr;
        const auto skip = [&] { return head_ % size_ + bytes > size_ ? size_ - head_ % size_ : 0; };
        while (head_ + skip() + bytes - tail_ > size_) {
            SpiFrame frame;
            if (ReceiveFrame(kSocket, frame, -1) != ReceiveResult::Frame)
                HostGone();
            TakeAnswer(frame);
        }
        const uint64_t skipped = skip();
        offset = (head_ + skipped) % size_;
        pending_.push_back(skipped + bytes);
        head_ += skipped + bytes;
        return base_ + offset;
    }
    // A frame that took no space still gets its answer.
    void Nothing() { pending_.push_back(0); }
    // A frame's space back.
    void Answered()
    {
        if (!pending_.empty()) {
            tail_ += pending_.front();
            pending_.pop_front();
        }
    }
    // The ring's memory file, to go with the call's first block; -1 once it went.
    int FdToSend()
    {
        if (sent_ || fd_ < 0)
            return -1;
        sent_ = true;
        return fd_;
    }
    uint64_t Size() const { return size_; }

private:
    // Small enough to stay resident in both processes without costing much; it is reused from the
    // start once the host is through with a region.
    uint64_t size_ = uint64_t(2) << 20;
    int fd_ = -1;
    char *base_ = nullptr;
    uint64_t head_ = 0, tail_ = 0;
    std::deque<uint64_t> pending_;
    bool sent_ = false;
};

void TakeAnswer(const SpiFrame &frame)
{
    if (frame.Type != kSpiEventsAck)
        return; // late answers of a finished call
    if (currentRing != nullptr)
        currentRing->Answered();
    if (BodyReader(frame.Body).Get<int32_t>() != 0)
        stopAsked = true;
}

// Rows are gathered until a region of the ring is full: an eighth of it, so that the helper decodes
// on while the host takes the regions before.
constexpr uint64_t kBatchBytes = uint64_t(256) << 10;

// Copies of the plug-in's rows do not trust its pointer: a fault while copying jumps back here and
// the block counts as broken, instead of ending the helper.
sigjmp_buf copyFault;
volatile sig_atomic_t copying = 0;

void OnFault(int signal, siginfo_t *, void *)
{
    if (copying) {
        copying = 0;
        siglongjmp(copyFault, 1);
    }
    // The plug-in's own fault: end as it would have, for the host to report.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void CatchCopyFaults()
{
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGSEGV, &action, nullptr);
    ::sigaction(SIGBUS, &action, nullptr);
}

#if defined(__SANITIZE_ADDRESS__)
#define TAPISTO_HELPER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAPISTO_HELPER_ASAN 1
#endif
#endif

bool CopyRows(char *to, const SPI_ROWBLOCK &block, int32_t first, int32_t count, uint64_t rowBytes)
{
    const char *from = static_cast<const char *>(block.pixels) + intptr_t(first) * block.stride;
#ifdef TAPISTO_HELPER_ASAN
    // The sanitizer would report a plug-in's lying block as this process's overflow: the kernel copies
    // instead, and fails on memory that is not there.
    std::vector<iovec> local, remote;
    for (int32_t r = 0; r < count; ++r) {
        local.push_back({to + uint64_t(r) * rowBytes, rowBytes});
        remote.push_back({const_cast<char *>(from) + intptr_t(r) * block.stride, rowBytes});
    }
    for (size_t done = 0; done < local.size();) {
        const size_t n = std::min<size_t>(local.size() - done, 1024);
        if (::process_vm_readv(::getpid(), &local[done], n, &remote[done], n, 0) != ssize_t(n * rowBytes))
            return false;
        done += n;
    }
    return true;
#else
    // No signal mask is saved or restored (a system call each time): the handler does not block the
    // fault signals it jumps out of.
    if (sigsetjmp(copyFault, 0) != 0)
        return false;
    copying = 1;
    for (int32_t r = 0; r < count; ++r)
        std::memcpy(to + uint64_t(r) * rowBytes, from + intptr_t(r) * block.stride, rowBytes);
    copying = 0;
    return true;
#endif
}

// The callbacks' events of the current call, gathered into one message: rows (copied into a region of
// the ring) and progress, in the order the plug-in made them. The message goes when its region is
// full, when it has waited a tenth of a second, and at the end of the call, so that the host wakes
// once for many rows rather than for every row.
class EventBatch {
public:
    void Progress(int32_t num, int32_t denom, bool ours)
    {
        CloseRows();
        events_.Put(uint8_t(1)).Put(num).Put(denom).Put(uint8_t(ours));
        ++count_;
        SendIfDue();
    }
    // A block's rows without their pixels: the host refuses it as it would have.
    void BareRows(const SPI_ROWBLOCK &block, int32_t first)
    {
        CloseRows();
        PutRows(block.width, block.height, block.y + first, block.count - first, block.format, int64_t(block.stride),
                false, 0);
    }
    // Copies the block's rows into the ring; false when they cannot be read or have no room.
    bool Rows(const SPI_ROWBLOCK &block, uint64_t rowBytes)
    {
        for (int32_t first = 0; first < block.count && !stopAsked;) {
            if (open_ && (width_ != block.width || height_ != block.height || format_ != block.format ||
                          y_ + rows_ != block.y + first))
                CloseRows();
            if (base_ != nullptr && used_ + rowBytes > capacity_)
                Send();
            if (base_ == nullptr) {
                capacity_ = std::max(rowBytes, kBatchBytes / rowBytes * rowBytes);
                base_ = currentRing->Reserve(capacity_, offset_);
                used_ = 0;
                if (base_ == nullptr) {
                    BareRows(block, first);
                    return false;
                }
            }
            if (!open_) {
                open_ = true;
                width_ = block.width;
                height_ = block.height;
                format_ = block.format;
                y_ = block.y + first;
                rows_ = 0;
                start_ = used_;
            }
            const int32_t n =
                int32_t(std::min<uint64_t>(uint64_t(block.count - first), (capacity_ - used_) / rowBytes));
            if (!CopyRows(base_ + used_, block, first, n, rowBytes)) {
                BareRows(block, first);
                return false;
            }
            used_ += uint64_t(n) * rowBytes;
            rows_ += n;
            first += n;
        }
        SendIfDue();
        return true;
    }
    // Sends what was gathered, and takes the answers that came.
    void Send()
    {
        CloseRows();
        if (count_ > 0) {
            if (base_ == nullptr && currentRing != nullptr)
                currentRing->Nothing(); // every message gets an answer, which gives its region back
            BodyWriter body;
            body.Put(currentRing != nullptr ? currentRing->Size() : uint64_t(0)).Put(count_);
            std::vector<int> fds;
            if (const int fd = base_ != nullptr ? currentRing->FdToSend() : -1; fd >= 0)
                fds.push_back(fd);
            std::string frame = body.Body() + events_.Body();
            if (!SendFrame(kSocket, kSpiEvents, frame, fds))
                HostGone();
        } else if (base_ != nullptr) {
            currentRing->Answered(); // reserved, never used: no answer will come
        }
        events_ = BodyWriter();
        count_ = 0;
        base_ = nullptr;
        used_ = 0;
        ::clock_gettime(CLOCK_MONOTONIC, &sent_);
        DrainAnswers();
    }
    void Start()
    {
        *this = EventBatch();
        ::clock_gettime(CLOCK_MONOTONIC, &sent_);
    }

private:
    void CloseRows()
    {
        if (!open_)
            return;
        open_ = false;
        PutRows(width_, height_, y_, rows_, format_, int64_t((used_ - start_) / uint64_t(rows_)), true,
                offset_ + start_);
    }
    void PutRows(int32_t width, int32_t height, int32_t y, int32_t count, int32_t format, int64_t stride,
                 bool hasPixels, uint64_t offset)
    {
        events_.Put(uint8_t(2)).Put(width).Put(height).Put(y).Put(count).Put(format).Put(stride);
        events_.Put(uint8_t(hasPixels)).Put(offset);
        ++count_;
    }
    void SendIfDue()
    {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const int64_t ms = (now.tv_sec - sent_.tv_sec) * 1000 + (now.tv_nsec - sent_.tv_nsec) / 1000000;
        if (ms >= 100 || events_.Body().size() > 48 * 1024)
            Send();
    }

    BodyWriter events_;
    uint32_t count_ = 0;
    char *base_ = nullptr; // the message's region of the ring, when it has rows
    uint64_t offset_ = 0, capacity_ = 0, used_ = 0;
    bool open_ = false; // rows being gathered into one event
    int32_t width_ = 0, height_ = 0, format_ = 0, y_ = 0, rows_ = 0;
    uint64_t start_ = 0;
    timespec sent_{};
};
EventBatch events;

extern "C" int32_t HelperProgress(int32_t num, int32_t denom, intptr_t user)
{
    if (stopAsked)
        return 1;
    events.Progress(num, denom, user == kSpiHelperUser);
    return stopAsked ? 1 : 0;
}

extern "C" int32_t HelperRows(const SPI_ROWBLOCK *block, intptr_t user)
{
    if (user != kSpiHelperUser || block == nullptr)
        stopAsked = true;
    if (stopAsked)
        return 1;
    // The shape is checked before any byte is read; the host checks the rest.
    const int32_t bpp = block->format == SPI_ROWS_BGR ? 3 : block->format == SPI_ROWS_BGRX ? 4 : 0;
    const uint64_t rowBytes = uint64_t(block->width > 0 ? block->width : 0) * uint64_t(bpp);
    const bool shaped = bpp != 0 && block->width > 0 && block->height > 0 && block->y >= 0 && block->count > 0 &&
                        block->count <= block->height - block->y && block->pixels != nullptr &&
                        (block->count == 1 || block->stride >= intptr_t(rowBytes)) && rowBytes <= (uint64_t(1) << 30);
    if (!shaped)
        events.BareRows(*block, 0);
    else
        events.Rows(*block, rowBytes);
    return stopAsked ? 1 : 0;
}

// The input of a picture call, as the plug-in gets it.
class Input {
public:
    explicit Input(BodyReader &in, SpiFrame &frame)
    {
        Flag = in.Get<uint32_t>();
        Length = intptr_t(in.Get<int64_t>());
        switch (in.Get<uint8_t>()) {
        case kSpiInputText:
            bytes_ = std::string(in.GetBytes());
            Buffer = bytes_.c_str();
            break;
        case kSpiInputBytes:
            // Plug-ins may always read 2048 bytes.
            bytes_ = std::string(in.GetBytes());
            bytes_.resize(std::max<size_t>(bytes_.size(), 2048), '\0');
            Buffer = bytes_.data();
            break;
        case kSpiInputShared: {
            const uint64_t offset = in.Get<uint64_t>();
            mapped_ = in.Get<uint64_t>();
            const int fd = frame.TakeFd(0);
            void *p = fd >= 0 && mapped_ > 0 ? ::mmap(nullptr, mapped_, PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
            if (fd >= 0)
                ::close(fd);
            if (p != MAP_FAILED) {
                map_ = p;
                Buffer = static_cast<const char *>(p) + std::min(offset, mapped_);
            }
            break;
        }
        default:
            break;
        }
    }
    ~Input()
    {
        if (map_ != nullptr)
            ::munmap(map_, mapped_);
    }
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;

    uint32_t Flag = 0;
    intptr_t Length = 0;
    const char *Buffer = nullptr;

private:
    std::string bytes_;
    void *map_ = nullptr;
    uint64_t mapped_ = 0;
};

// One block of a result as it travels to the host; the block itself is freed here afterwards.
void PutBlock(BodyWriter &body, std::vector<int> &fds, std::vector<int> &owned, HLOCAL h)
{
    if (h == nullptr) {
        body.Put(uint8_t(kSpiBlockNull)).Put(uint64_t(0));
        return;
    }
    const void *p = LocalLock(h);
    if (p == nullptr) {
        body.Put(uint8_t(kSpiBlockInvalid)).Put(uint64_t(0));
        return;
    }
    const uint64_t size = LocalSize(h);
    int fd = SpiLocalSharedFd(h);
    if (fd >= 0) {
        fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    } else if (size > kSpiInlineBytes) {
        fd = ::memfd_create("spiblock", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd >= 0 && ::pwrite(fd, p, size, 0) != ssize_t(size)) {
            ::close(fd);
            fd = -1;
        }
    } else {
        body.Put(uint8_t(kSpiBlockBytes)).Put(size).PutBytes(std::string_view(static_cast<const char *>(p), size));
        LocalUnlock(h);
        LocalFree(h);
        return;
    }
    LocalUnlock(h);
    LocalFree(h);
    if (fd < 0 || ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) != 0) {
        if (fd >= 0)
            ::close(fd);
        body.Put(uint8_t(kSpiBlockInvalid)).Put(uint64_t(0));
        return;
    }
    body.Put(uint8_t(kSpiBlockShared)).Put(size);
    fds.push_back(fd);
    owned.push_back(fd);
}

void Open(BodyReader &in)
{
    const std::string path(in.GetBytes());
    BodyWriter out;
    std::unique_ptr<DynLib> lib = DynLib::Open(path);
    if (!lib) {
        out.Put(uint8_t(0)).Put(uint8_t(DynLib::Refused())).PutBytes(DynLib::LastError());
        Send(kSpiResult, out);
        return;
    }
    const std::string loaded = lib->LoadedPath();
    Library entry{LookUpSpiEntryPoints(*lib), std::move(lib)};
    const uint32_t exports = entry.Exports;
    const uint32_t id = nextLibrary++;
    libraries.emplace(id, std::move(entry));
    out.Put(uint8_t(1)).Put(uint8_t(0)).PutBytes("").Put(exports).PutBytes(loaded).Put(id);
    Send(kSpiResult, out);
}

// Sends the result `body` followed by `blocks`; the memory files made for them are closed once sent.
void SendResult(BodyWriter &body, const std::vector<HLOCAL> &blocks)
{
    std::vector<int> fds, owned;
    for (HLOCAL block : blocks)
        PutBlock(body, fds, owned, block);
    Send(kSpiResult, body, fds);
    for (int fd : owned)
        ::close(fd);
}

// The library a request names; the host only names what it opened, so a stranger ends the helper.
Library &Named(BodyReader &in)
{
    const auto it = libraries.find(in.Get<uint32_t>());
    if (it == libraries.end())
        HostGone();
    return it->second;
}

void Serve(SpiFrame &frame)
{
    BodyReader in(frame.Body);
    BodyWriter out;
    switch (frame.Type) {
    case kSpiOpen:
        Open(in);
        return;
    case kSpiClose:
        libraries.erase(in.Get<uint32_t>());
        return;
    case kSpiDescribe: {
        Library &lib = Named(in);
        const SpiDescription d = DescribeWith(
            [&](int32_t n, char *buf, int32_t len) { return lib.GetPluginInfo ? lib.GetPluginInfo(n, buf, len) : 0; });
        out.PutBytes(d.APIVersion).PutBytes(d.PluginName).Put(uint32_t(d.Extensions.size()));
        for (size_t k = 0; k < d.Extensions.size(); ++k)
            out.PutBytes(d.Extensions[k]).PutBytes(d.Descriptions[k]);
        Send(kSpiResult, out);
        return;
    }
    case kSpiPluginInfo: {
        Library &lib = Named(in);
        const int32_t number = in.Get<int32_t>();
        const int32_t length = in.Get<int32_t>();
        // Room to spare for a plug-in that writes more than it was told.
        std::string buf(size_t(std::clamp(length, 0, 60000)) + 1024, '\0');
        const int32_t rc = lib.GetPluginInfo ? lib.GetPluginInfo(number, buf.data(), length) : 0;
        buf.resize(size_t(std::clamp(length, 0, 60000)) + 1);
        out.Put(rc).PutBytes(buf);
        Send(kSpiResult, out);
        return;
    }
    case kSpiIsSupported: {
        Library &lib = Named(in);
        const std::string name(in.GetBytes());
        std::string data(in.GetBytes());
        data.resize(std::max<size_t>(data.size(), 2048), '\0');
        out.Put(lib.IsSupported ? lib.IsSupported(name.c_str(), data.data()) : int32_t(0));
        Send(kSpiResult, out);
        return;
    }
    case kSpiPictureInfo: {
        Library &lib = Named(in);
        Input input(in, frame);
        SPI_PICTINFO info{};
        const int32_t rc = lib.GetPictureInfo ? lib.GetPictureInfo(input.Buffer, input.Length, input.Flag, &info)
                                              : int32_t(SPI_OTHER_ERROR);
        out.Put(rc).Put(info.left).Put(info.top).Put(info.width).Put(info.height).Put(info.x_density);
        out.Put(info.y_density).Put(info.colorDepth);
        SendResult(out, {rc == 0 ? info.hInfo : nullptr});
        return;
    }
    case kSpiPicture: {
        Library &lib = Named(in);
        const bool progress = in.Get<uint8_t>() != 0;
        Input input(in, frame);
        HLOCAL header = nullptr, bits = nullptr;
        stopAsked = false;
        events.Start();
        const int32_t rc = lib.GetPicture ? lib.GetPicture(input.Buffer, input.Length, input.Flag, &header, &bits,
                                                           progress ? HelperProgress : nullptr, kSpiHelperUser)
                                          : int32_t(SPI_OTHER_ERROR);
        events.Send();
        out.Put(rc);
        SendResult(out, rc == 0 ? std::vector<HLOCAL>{header, bits} : std::vector<HLOCAL>{});
        return;
    }
    case kSpiPictureRows: {
        Library &lib = Named(in);
        const int32_t wantWidth = in.Get<int32_t>(), wantHeight = in.Get<int32_t>();
        const bool progress = in.Get<uint8_t>() != 0;
        Input input(in, frame);
        RowRing ring;
        currentRing = &ring;
        stopAsked = false;
        events.Start();
        const int32_t rc = lib.GetPictureRows
                               ? lib.GetPictureRows(input.Buffer, input.Length, input.Flag, wantWidth, wantHeight,
                                                    HelperRows, progress ? HelperProgress : nullptr, kSpiHelperUser)
                               : int32_t(SPI_OTHER_ERROR);
        events.Send();
        currentRing = nullptr;
        out.Put(rc);
        Send(kSpiResult, out);
        return;
    }
    default:
        return; // late acknowledgements of a finished call
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3 || std::strtol(argv[1], nullptr, 10) != long(::getppid()))
        return 2;
    if (std::strcmp(argv[2], kSpiProtocolVersion) != 0)
        return kSpiWrongVersion;
    // Gone with the host, however it ended, also while a plug-in is stuck: the socket hangs up when
    // the host's end closes. (A parent-death signal would follow the thread that started the helper,
    // not the host process.)
    std::thread([] {
        pollfd p{kSocket, 0, 0};
        while (::poll(&p, 1, -1) < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) {
        }
        std::_Exit(0);
    }).detach();
    // A crashing plug-in is reported by the host; no core files pile up for it.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    SpiLocalShareFrom(kShareFrom);
    CatchCopyFaults();
    for (;;) {
        SpiFrame frame;
        if (ReceiveFrame(kSocket, frame, -1) != ReceiveResult::Frame)
            return 0;
        Serve(frame);
    }
}
