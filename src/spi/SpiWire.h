#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// Messages between the plug-in host and its helper process: one datagram of a sequenced-packet
// socket each, a type, a small body, and descriptors passed along (memory files). Large data never
// goes through the socket.

constexpr size_t kMaxFrameBody = 64 * 1024;

struct SpiFrame {
    SpiFrame() = default;
    ~SpiFrame();
    SpiFrame(const SpiFrame &) = delete;
    SpiFrame &operator=(const SpiFrame &) = delete;

    // The descriptor at `index`, now owned by the caller; -1 when the frame has none there.
    int TakeFd(size_t index);
    // Closes the descriptors nobody took and empties the frame.
    void Reset();

    uint32_t Type = 0;
    std::string Body;
    std::vector<int> Fds;
};

// A socket pair for a helper: [0] the host's end, [1] the helper's. Both close on exec.
bool MakeSpiSocketPair(int ends[2]);
// Sends one frame; false when the other end is gone or the frame is too big.
bool SendFrame(int socket, uint32_t type, std::string_view body, const std::vector<int> &fds = {});
enum class ReceiveResult { Frame, Closed, TimedOut };
// Waits at most `timeoutMs` (-1: for ever) for the next frame. A malformed frame counts as Closed.
ReceiveResult ReceiveFrame(int socket, SpiFrame &frame, int timeoutMs);

// Fixed-size values and length-prefixed bytes, in the machine's byte order (both ends are one build).
class BodyWriter {
public:
    template <class T> BodyWriter &Put(T value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        out_.append(reinterpret_cast<const char *>(&value), sizeof value);
        return *this;
    }
    BodyWriter &PutBytes(std::string_view bytes)
    {
        Put(uint32_t(bytes.size()));
        out_.append(bytes);
        return *this;
    }
    const std::string &Body() const { return out_; }

private:
    std::string out_;
};

// Reads what a BodyWriter wrote. A read past the end gives zeros and makes Ok() false.
class BodyReader {
public:
    explicit BodyReader(std::string_view body) : in_(body) {}
    template <class T> T Get()
    {
        static_assert(std::is_trivially_copyable_v<T>);
        T value{};
        if (in_.size() - pos_ < sizeof value) {
            ok_ = false;
            pos_ = in_.size();
            return value;
        }
        std::memcpy(&value, in_.data() + pos_, sizeof value);
        pos_ += sizeof value;
        return value;
    }
    std::string_view GetBytes()
    {
        const uint32_t size = Get<uint32_t>();
        if (in_.size() - pos_ < size) {
            ok_ = false;
            pos_ = in_.size();
            return {};
        }
        std::string_view bytes = in_.substr(pos_, size);
        pos_ += size;
        return bytes;
    }
    bool Ok() const { return ok_; }

private:
    std::string_view in_;
    size_t pos_ = 0;
    bool ok_ = true;
};
