#pragma once

// Helpers shared by the fuzz targets: carving an input into pieces, a scratch folder for the
// readers that take a path, and the rule that every failure is one of our exceptions with a text.
#include "platform/Exceptions.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

// Consumes an input from the front: bytes, small numbers and length-prefixed texts. Past the end
// it yields zeros and empty texts, so every input is a valid program.
class FuzzInput {
public:
    FuzzInput(const uint8_t *data, size_t size) : rest_(reinterpret_cast<const char *>(data), size) {}

    bool Empty() const { return rest_.empty(); }
    size_t Left() const { return rest_.size(); }
    uint8_t Byte()
    {
        if (rest_.empty())
            return 0;
        const auto b = static_cast<uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    int32_t I32()
    {
        uint32_t v = U16();
        v |= uint32_t(U16()) << 16;
        return static_cast<int32_t>(v);
    }
    // A text of up to maxLength bytes whose length is the next byte.
    std::string_view Text(size_t maxLength = 255) { return Bytes(Byte() % (maxLength + 1)); }
    std::string_view Bytes(size_t count)
    {
        count = count < rest_.size() ? count : rest_.size();
        std::string_view out = rest_.substr(0, count);
        rest_.remove_prefix(count);
        return out;
    }
    std::string_view Rest() { return Bytes(rest_.size()); }

private:
    std::string_view rest_;
};

// A folder of this process for files the targets write (removed at exit), and a path inside it.
std::string FuzzScratchPath(std::string_view name);
// Writes bytes to a scratch file (replacing it) and returns its path (CP932 bytes = UTF-8 here).
std::string WriteScratchFile(std::string_view name, std::string_view bytes);

// A failure must carry a message the user can read; anything else stops the fuzzer.
inline void CheckFailure(const Exception &e)
{
    if (e.Message().empty())
        std::abort();
}

// Stops the fuzzer with a finding when a property of the code does not hold.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            FuzzCheckFailed(#condition, __FILE__, __LINE__);                                                           \
    } while (0)
[[noreturn]] void FuzzCheckFailed(const char *condition, const char *file, int line);
