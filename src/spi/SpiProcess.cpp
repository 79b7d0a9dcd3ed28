#include "spi/SpiProcess.h"

#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "spi/SpiProtocol.h"
#include "spi/SpiWire.h"
#include "spilocal/SpiLocalShare.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

std::mutex timeoutsMutex;
SpiTimeouts timeouts;

// A handle the plug-in made up: not in the host's table, so it can be neither locked nor freed.
HLOCAL const kInvalidHandle = reinterpret_cast<HLOCAL>(uintptr_t(1));

std::string HelperPath()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&LocalAlloc), &info) == 0 || info.dli_fname == nullptr)
        return "tapisto-spihelper";
    std::string lib = info.dli_fname;
    const size_t slash = lib.rfind('/');
    return (slash == std::string::npos ? std::string(".") : lib.substr(0, slash)) + "/tapisto-spihelper";
}

int Bounded(int base, int perMiB, int max, uint64_t bytes)
{
    const uint64_t ms = uint64_t(base) + uint64_t(perMiB) * (bytes >> 20);
    return int(std::min<uint64_t>(ms, uint64_t(std::max(base, max))));
}

// A memory file holding `size` bytes of `data`, sealed so that neither side can change its size.
int SharedCopy(const char *data, size_t size, bool readOnly)
{
    const int fd = ::memfd_create("spiinput", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, off_t(done));
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        done += size_t(n);
    }
    ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | (readOnly ? F_SEAL_WRITE : 0));
    return fd;
}

// A memory file from the helper, usable when it cannot shrink under us and holds `size` bytes.
bool SafeToMap(int fd, uint64_t size)
{
    struct stat st {};
    const int seals = ::fcntl(fd, F_GET_SEALS);
    return seals >= 0 && (seals & F_SEAL_SHRINK) != 0 && ::fstat(fd, &st) == 0 && uint64_t(st.st_size) >= size;
}

struct SharedRegion {
    const char *Data;
    size_t Size;
    int Fd;
};
thread_local std::vector<SharedRegion> sharedRegions;

// Calls of plug-ins made from inside a callback of another call.
thread_local bool inCall = false;

class SpiProcess {
public:
    struct Callbacks {
        SPI_PROGRESS Progress = nullptr;
        SPI_ROWS Rows = nullptr;
        intptr_t User = 0;
    };

    static std::shared_ptr<SpiProcess> Shared()
    {
        static std::mutex m;
        static std::weak_ptr<SpiProcess> current;
        std::lock_guard<std::mutex> lock(m);
        std::shared_ptr<SpiProcess> p = current.lock();
        if (!p) {
            p = std::make_shared<SpiProcess>();
            current = p;
        }
        return p;
    }
    static pid_t RunningPid()
    {
        std::lock_guard<std::mutex> lock(runningMutex);
        return running;
    }
    // The running helper's id is cleared before it is reaped, so that it is never a process that
    // has taken over the id since.
    static void KillRunning()
    {
        std::lock_guard<std::mutex> lock(runningMutex);
        if (running <= 0)
            return;
        cutOff = true;
        ::kill(running, SIGKILL);
    }

    ~SpiProcess() { Stop(); }

    // Counts the helpers started so far; a library is known only to the one that loaded it. A helper
    // that died while idle (killed from outside) is reaped here, so that the next call starts anew.
    uint64_t Generation()
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (pid_ > 0 && ReapedNow(pid_)) {
            pid_ = 0;
            Reap();
        }
        return generation_;
    }

    // Sends one request and waits for its result, handing the events to the callbacks. Returns whether
    // a callback asked the plug-in to stop. Raises ESPIPluginFailed (naming `plugin`) when the helper
    // dies or hangs, and Exception when it cannot be started.
    bool Call(const std::string &plugin, uint32_t type, const BodyWriter &body, const std::vector<int> &fds,
              uint64_t inputBytes, const Callbacks &callbacks, SpiFrame &result)
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (inCall)
            throw Exception("プラグインの呼び出し中に別のプラグインは呼び出せません");
        struct InCall {
            InCall() { inCall = true; }
            ~InCall() { inCall = false; }
        } marker;
        Start();
        if (!SendFrame(socket_, type, body.Body(), fds))
            Failed(plugin, false);
        const SpiTimeouts limits = CurrentSpiTimeouts();
        const auto idle =
            std::chrono::milliseconds(Bounded(limits.IdleMs, limits.IdlePerMiBMs, limits.IdleMaxMs, inputBytes));
        const auto now = std::chrono::steady_clock::now;
        const auto deadline = now() + std::chrono::milliseconds(
                                          Bounded(limits.TotalMs, limits.TotalPerMiBMs, limits.TotalMaxMs, inputBytes));
        auto quietUntil = now() + idle;
        RowsView rows;
        bool stopped = false;
        for (;;) {
            const auto until = std::min(quietUntil, deadline);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now()).count();
            if (left <= 0)
                Failed(plugin, true);
            SpiFrame frame;
            const ReceiveResult got = ReceiveFrame(socket_, frame, int(std::min<int64_t>(left, 1000)));
            if (got == ReceiveResult::TimedOut)
                continue;
            if (got == ReceiveResult::Closed)
                Failed(plugin, false);
            quietUntil = now() + idle;
            if (frame.Type == kSpiResult) {
                result.Type = frame.Type;
                result.Body = std::move(frame.Body);
                result.Fds = std::move(frame.Fds);
                frame.Fds.clear();
                return stopped;
            }
            if (frame.Type != kSpiEvents)
                continue;
            // Every event in order; once a callback asked to stop, the others are not delivered.
            BodyReader in(frame.Body);
            rows.Map(frame, in.Get<uint64_t>());
            const uint32_t count = in.Get<uint32_t>();
            for (uint32_t i = 0; i < count && in.Ok(); ++i) {
                int32_t rc = 0;
                if (in.Get<uint8_t>() == 1) {
                    const int32_t num = in.Get<int32_t>(), denom = in.Get<int32_t>();
                    const bool ours = in.Get<uint8_t>() != 0;
                    if (!stopped && ours && callbacks.Progress != nullptr)
                        rc = callbacks.Progress(num, denom, callbacks.User);
                } else {
                    SPI_ROWBLOCK block{};
                    rows.Read(in, block);
                    rc = stopped || callbacks.Rows == nullptr ? 1 : callbacks.Rows(&block, callbacks.User);
                }
                stopped = stopped || rc != 0;
            }
            if (!SendFrame(socket_, kSpiEventsAck, BodyWriter().Put(int32_t(stopped)).Body()))
                Failed(plugin, false);
        }
    }

    // Tells the helper that a library is no longer needed, when it still is the one that loaded it.
    void Close(uint64_t generation, uint32_t library)
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (generation == generation_ && pid_ > 0)
            SendFrame(socket_, kSpiClose, BodyWriter().Put(library).Body());
    }

private:
    // Reaps the helper if it has ended, clearing the running id first (see KillRunning).
    static bool ReapedNow(pid_t pid)
    {
        std::lock_guard<std::mutex> lock(runningMutex);
        if (::waitpid(pid, nullptr, WNOHANG) != pid)
            return false;
        running = 0;
        return true;
    }

    // The ring of shared memory that a GetPictureRows call's blocks lie in, as this process sees it.
    class RowsView {
    public:
        ~RowsView()
        {
            if (map_ != nullptr)
                ::munmap(const_cast<char *>(map_), size_);
        }
        // Maps the ring when its memory file comes with the message.
        void Map(SpiFrame &frame, uint64_t ringSize)
        {
            const int fd = frame.TakeFd(0);
            if (fd < 0)
                return;
            if (map_ == nullptr && ringSize > 0 && SafeToMap(fd, ringSize)) {
                void *p = ::mmap(nullptr, ringSize, PROT_READ, MAP_SHARED, fd, 0);
                if (p != MAP_FAILED) {
                    map_ = static_cast<const char *>(p);
                    size_ = ringSize;
                }
            }
            ::close(fd);
        }
        // The block a rows event describes; its pixels are null unless they lie wholly in the ring.
        void Read(BodyReader &in, SPI_ROWBLOCK &block)
        {
            block.width = in.Get<int32_t>();
            block.height = in.Get<int32_t>();
            block.y = in.Get<int32_t>();
            block.count = in.Get<int32_t>();
            block.format = in.Get<int32_t>();
            block.stride = intptr_t(in.Get<int64_t>());
            const bool hasPixels = in.Get<uint8_t>() != 0;
            const uint64_t offset = in.Get<uint64_t>();
            block.pixels = nullptr;
            const uint64_t bpp = block.format == SPI_ROWS_BGR ? 3 : block.format == SPI_ROWS_BGRX ? 4 : 0;
            const uint64_t rowBytes = uint64_t(std::max(block.width, 0)) * bpp;
            if (!in.Ok() || !hasPixels || map_ == nullptr || block.count <= 0 || rowBytes == 0 ||
                block.stride != intptr_t(rowBytes) || offset > size_ ||
                uint64_t(block.count) > (size_ - offset) / rowBytes)
                return;
            block.pixels = map_ + offset;
        }

    private:
        const char *map_ = nullptr;
        uint64_t size_ = 0;
    };

    void Start()
    {
        if (pid_ > 0)
            return;
        int ends[2];
        if (!MakeSpiSocketPair(ends))
            throw Exception(FormatMessage("プラグインの補助プログラムを起動できません: %s", {ErrnoText(errno)}));
        const std::string path = HelperPath();
        const std::string parent = std::to_string(::getpid());
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        // The program may ignore or block signals; the helper starts with the defaults.
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes, &all);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        char *argv[] = {const_cast<char *>(path.c_str()), const_cast<char *>(parent.c_str()),
                        const_cast<char *>(kSpiProtocolVersion), nullptr};
        pid_t pid = 0;
        const int rc = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(ends[1]);
        if (rc != 0) {
            ::close(ends[0]);
            throw Exception(FormatMessage("プラグインの補助プログラム %s を起動できません: %s", {path, ErrnoText(rc)}));
        }
        socket_ = ends[0];
        pid_ = pid;
        std::lock_guard<std::mutex> lock(runningMutex);
        running = pid;
        cutOff = false; // a cut-off was for the helper before
    }

    // Ends the helper: `hung` kills it first. Every library it had loaded is gone with it.
    [[noreturn]] void Failed(const std::string &plugin, bool hung)
    {
        if (hung)
            ::kill(pid_, SIGKILL);
        const int code = Reap();
        // Cut off on purpose: the call was given up, the plug-in did nothing wrong.
        if (cutOff.exchange(false))
            throw EAbort();
        if (code == kSpiWrongVersion)
            throw Exception(FormatMessage("プラグインの補助プログラム %s がこのプログラムと版が違います。"
                                          "Tapisto を起動し直してください",
                                          {HelperPath()}));
        const char *pattern = hung ? "プラグイン %s が応答しなくなりました" : "プラグイン %s が異常終了しました";
        throw ESPIPluginFailed(plugin, hung, FormatMessage(pattern, {Cp932ToUtf8Lossy(plugin)}));
    }

    // Waits for the helper's end; returns its exit code (-1 when a signal ended it or none ran).
    int Reap()
    {
        if (socket_ >= 0)
            ::close(socket_);
        socket_ = -1;
        {
            std::lock_guard<std::mutex> lock(runningMutex);
            running = 0;
        }
        int status = 0, code = -1;
        if (pid_ > 0) {
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        pid_ = 0;
        ++generation_;
        std::lock_guard<std::mutex> lock(runningMutex);
        running = 0;
        return code;
    }

    // The helper ends when its socket closes; one that is stuck in a plug-in is killed.
    void Stop()
    {
        if (pid_ <= 0)
            return;
        ::close(socket_);
        socket_ = -1;
        for (int i = 0; i < 20; ++i) {
            if (ReapedNow(pid_)) {
                pid_ = 0;
                break;
            }
            ::usleep(5000);
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Reap();
        }
        std::lock_guard<std::mutex> lock(runningMutex);
        running = 0;
    }

    std::recursive_mutex mutex_;
    pid_t pid_ = 0;
    int socket_ = -1;
    uint64_t generation_ = 0;
    static inline std::mutex runningMutex;
    static inline pid_t running = 0;
    static inline std::atomic<bool> cutOff = false; // KillRunning killed the helper
};

// How the input of a picture call goes into a request; `inputBytes` tells the picture's size for the
// time limits.
void PutInput(BodyWriter &body, std::vector<int> &fds, std::vector<int> &owned, const char *buf, intptr_t len,
              uint32_t flag, uint64_t &inputBytes)
{
    body.Put(flag).Put(int64_t(len));
    const uint32_t kind = flag & SPI_INPUT_MASK;
    if (buf == nullptr || (kind != SPI_INPUT_FILE && kind != SPI_INPUT_MEMORY) || len < 0) {
        body.Put(uint8_t(kSpiInputNone));
        return;
    }
    if (kind == SPI_INPUT_FILE) {
        const std::string_view name(buf, ::strnlen(buf, 8192));
        struct stat st {};
        if (::stat(std::string(name).c_str(), &st) == 0)
            inputBytes = uint64_t(st.st_size);
        body.Put(uint8_t(kSpiInputText)).PutBytes(name);
        return;
    }
    inputBytes = uint64_t(len);
    for (const SharedRegion &region : sharedRegions) {
        if (buf >= region.Data && uint64_t(buf - region.Data) + uint64_t(len) <= region.Size) {
            body.Put(uint8_t(kSpiInputShared)).Put(uint64_t(buf - region.Data)).Put(uint64_t(region.Size));
            fds.push_back(region.Fd);
            return;
        }
    }
    if (uint64_t(len) <= kSpiInlineBytes) {
        body.Put(uint8_t(kSpiInputBytes)).PutBytes(std::string_view(buf, size_t(len)));
        return;
    }
    const int fd = SharedCopy(buf, size_t(len), true);
    if (fd < 0)
        throw EOutOfMemory("プラグインに渡すデータのメモリを確保できません");
    body.Put(uint8_t(kSpiInputShared)).Put(uint64_t(0)).Put(uint64_t(len));
    fds.push_back(fd);
    owned.push_back(fd);
}

// A block of a result as a handle of this process.
HLOCAL TakeBlock(BodyReader &in, SpiFrame &frame, size_t &nextFd)
{
    const uint8_t kind = in.Get<uint8_t>();
    const uint64_t size = in.Get<uint64_t>();
    switch (kind) {
    case kSpiBlockBytes: {
        const std::string_view bytes = in.GetBytes();
        HLOCAL h = LocalAlloc(LMEM_FIXED, bytes.size());
        if (h != nullptr)
            std::memcpy(h, bytes.data(), bytes.size());
        return h;
    }
    case kSpiBlockShared: {
        const int fd = frame.TakeFd(nextFd++);
        if (fd < 0 || !SafeToMap(fd, size)) {
            if (fd >= 0)
                ::close(fd);
            return kInvalidHandle;
        }
        HLOCAL h = SpiLocalAdopt(fd, size);
        return h != nullptr ? h : kInvalidHandle;
    }
    case kSpiBlockInvalid:
        return kInvalidHandle;
    default:
        return nullptr;
    }
}

class HelperSpiModule : public SpiModule {
public:
    HelperSpiModule(std::shared_ptr<SpiProcess> process, std::string path)
        : process_(std::move(process)), path_(std::move(path))
    {
    }
    ~HelperSpiModule() override { process_->Close(generation_, library_); }

    // Loads the library; false with the reason when the helper did not.
    bool Open(SpiOpenFailure &failure)
    {
        SpiFrame result;
        generation_ = process_->Generation();
        process_->Call(path_, kSpiOpen, BodyWriter().PutBytes(path_), {}, 0, {}, result);
        generation_ = process_->Generation();
        BodyReader in(result.Body);
        const bool ok = in.Get<uint8_t>() != 0;
        const bool refused = in.Get<uint8_t>() != 0;
        const std::string reason(in.GetBytes());
        if (!ok) {
            failure.Reason = refused ? reason : std::string();
            failure.WorthTelling = refused;
            return false;
        }
        exports_ = in.Get<uint32_t>();
        loadedPath_ = std::string(in.GetBytes());
        library_ = in.Get<uint32_t>();
        if (loadedPath_.empty())
            loadedPath_ = path_;
        return in.Ok();
    }

    SpiDescription Describe() override
    {
        Ensure();
        SpiFrame result;
        Call(kSpiDescribe, BodyWriter().Put(library_), {}, 0, {}, result);
        BodyReader in(result.Body);
        SpiDescription d;
        d.APIVersion = std::string(in.GetBytes());
        d.PluginName = std::string(in.GetBytes());
        const uint32_t pairs = in.Get<uint32_t>();
        for (uint32_t k = 0; k < pairs && in.Ok(); ++k) {
            d.Extensions.emplace_back(in.GetBytes());
            d.Descriptions.emplace_back(in.GetBytes());
        }
        return d;
    }

    int32_t GetPluginInfo(int32_t infoNo, char *buf, int32_t bufLen) override
    {
        Ensure();
        SpiFrame result;
        Call(kSpiPluginInfo, BodyWriter().Put(library_).Put(infoNo).Put(bufLen), {}, 0, {}, result);
        BodyReader in(result.Body);
        const int32_t rc = in.Get<int32_t>();
        const std::string_view text = in.GetBytes();
        if (buf != nullptr && bufLen >= 0)
            std::memcpy(buf, text.data(), std::min<size_t>(text.size(), size_t(bufLen) + 1));
        return rc;
    }

    int32_t IsSupported(const char *fileName, const void *data) override
    {
        Ensure();
        BodyWriter body;
        body.Put(library_).PutBytes(fileName != nullptr ? std::string_view(fileName) : std::string_view());
        body.PutBytes(data != nullptr ? std::string_view(static_cast<const char *>(data), 2048) : std::string_view());
        SpiFrame result;
        Call(kSpiIsSupported, body, {}, 0, {}, result);
        return BodyReader(result.Body).Get<int32_t>();
    }

    int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SPI_PICTINFO *info) override
    {
        Ensure();
        BodyWriter body;
        body.Put(library_);
        SpiFrame result;
        CallWithInput(kSpiPictureInfo, body, buf, len, flag, {}, result);
        BodyReader in(result.Body);
        const int32_t rc = in.Get<int32_t>();
        SPI_PICTINFO got{};
        got.left = in.Get<int32_t>();
        got.top = in.Get<int32_t>();
        got.width = in.Get<int32_t>();
        got.height = in.Get<int32_t>();
        got.x_density = in.Get<uint16_t>();
        got.y_density = in.Get<uint16_t>();
        got.colorDepth = in.Get<int16_t>();
        size_t nextFd = 0;
        got.hInfo = TakeBlock(in, result, nextFd);
        if (info != nullptr)
            std::memcpy(info, &got, sizeof got);
        else if (got.hInfo != nullptr)
            LocalFree(got.hInfo);
        return rc;
    }

    int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, HLOCAL *bitmapInfo, HLOCAL *bits,
                       SPI_PROGRESS progress, intptr_t user) override
    {
        Ensure();
        BodyWriter body;
        body.Put(library_).Put(uint8_t(progress != nullptr));
        SpiFrame result;
        const bool stopped =
            CallWithInput(kSpiPicture, body, buf, len, flag, {.Progress = progress, .User = user}, result);
        BodyReader in(result.Body);
        const int32_t rc = in.Get<int32_t>();
        if (rc != 0)
            return rc;
        size_t nextFd = 0;
        HLOCAL header = TakeBlock(in, result, nextFd);
        HLOCAL pixels = TakeBlock(in, result, nextFd);
        // Progress is reported without waiting for each answer, so a plug-in may learn of a stop only
        // after it finished: what it would have answered had it learnt at once.
        if (stopped) {
            LocalFree(header);
            LocalFree(pixels);
            return SPI_ABORT;
        }
        if (bitmapInfo != nullptr)
            *bitmapInfo = header;
        else
            LocalFree(header);
        if (bits != nullptr)
            *bits = pixels;
        else
            LocalFree(pixels);
        return rc;
    }

    int32_t GetPictureRows(const char *buf, intptr_t len, uint32_t flag, int32_t wantWidth, int32_t wantHeight,
                           SPI_ROWS rows, SPI_PROGRESS progress, intptr_t user) override
    {
        Ensure();
        BodyWriter body;
        body.Put(library_).Put(wantWidth).Put(wantHeight).Put(uint8_t(progress != nullptr));
        SpiFrame result;
        const bool stopped = CallWithInput(kSpiPictureRows, body, buf, len, flag,
                                           {.Progress = progress, .Rows = rows, .User = user}, result);
        const int32_t rc = BodyReader(result.Body).Get<int32_t>();
        // Blocks and progress are handed over without waiting for each answer, so a plug-in may learn of
        // a stop only after its last block: what it would have answered had it learnt at once.
        return stopped && rc == SPI_ALL_RIGHT ? int32_t(SPI_ABORT) : rc;
    }

private:
    // Loads the library again when the helper that had it died since; the requests name it by its
    // number in the helper that runs now.
    void Ensure()
    {
        if (generation_ == process_->Generation())
            return;
        SpiOpenFailure failure;
        if (!Open(failure))
            throw EInvalidGraphic(
                FormatMessage("プラグイン %s を読み込み直せませんでした%s",
                              {Cp932ToUtf8Lossy(path_), failure.Reason.empty() ? "" : " (" + failure.Reason + ")"}));
    }
    bool Call(uint32_t type, const BodyWriter &body, const std::vector<int> &fds, uint64_t bytes,
              const SpiProcess::Callbacks &callbacks, SpiFrame &result)
    {
        return process_->Call(path_, type, body, fds, bytes, callbacks, result);
    }
    // A picture call: the picture's input (`buf`, `len`, `flag`) follows the call's own fields in
    // `body`, and the memory files made for it are closed when the call has ended.
    bool CallWithInput(uint32_t type, BodyWriter &body, const char *buf, intptr_t len, uint32_t flag,
                       const SpiProcess::Callbacks &callbacks, SpiFrame &result)
    {
        std::vector<int> fds, owned;
        struct CloseOwned {
            std::vector<int> &fds;
            ~CloseOwned()
            {
                for (int fd : fds)
                    ::close(fd);
            }
        } closing{owned};
        uint64_t bytes = 0;
        PutInput(body, fds, owned, buf, len, flag, bytes);
        return Call(type, body, fds, bytes, callbacks, result);
    }

    std::shared_ptr<SpiProcess> process_;
    std::string path_;
    uint32_t library_ = 0;
    uint64_t generation_ = 0;
};

} // namespace

void SetSpiTimeouts(const SpiTimeouts &value)
{
    std::lock_guard<std::mutex> lock(timeoutsMutex);
    timeouts = value;
}

SpiTimeouts CurrentSpiTimeouts()
{
    std::lock_guard<std::mutex> lock(timeoutsMutex);
    return timeouts;
}

std::unique_ptr<SpiModule> OpenHelperSpiModule(const std::string &cp932Path, SpiOpenFailure &failure)
{
    auto module = std::make_unique<HelperSpiModule>(SpiProcess::Shared(), cp932Path);
    try {
        if (!module->Open(failure))
            return nullptr;
    } catch (const ESPIPluginFailed &e) {
        failure.Reason = e.AtSearch().Message();
        failure.WorthTelling = true;
        return nullptr;
    }
    return module;
}

pid_t SpiHelperPid()
{
    return SpiProcess::RunningPid();
}

void CutOffSpiHelper()
{
    SpiProcess::KillRunning();
}

SpiSharedInput::SpiSharedInput(const char *data, size_t size)
{
    if (CurrentSpiIsolation() != SpiIsolation::Helper || size <= kSpiInlineBytes)
        return;
    fd_ = SharedCopy(data, size, true);
    if (fd_ >= 0)
        sharedRegions.push_back({data, size, fd_});
}

SpiSharedInput::~SpiSharedInput()
{
    if (fd_ < 0)
        return;
    for (auto it = sharedRegions.begin(); it != sharedRegions.end(); ++it)
        if (it->Fd == fd_) {
            sharedRegions.erase(it);
            break;
        }
    ::close(fd_);
}
