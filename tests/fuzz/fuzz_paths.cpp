// Path splitting and text conversion on arbitrary bytes: every path a user can drop passes here.
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/IntConvert.h"
#include "platform/Paths.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view text(reinterpret_cast<const char *>(data), size);
    SplitPathResult split = SplitPath(text);
    if (split.folder + split.name != text)
        std::abort();
    (void)ExtractFileExt(text);
    (void)IncludeTrailingSeparator(text);
    (void)Cp932ToUtf8Lossy(text);
    int32_t value;
    (void)TryStrToInt(text, value);
    try {
        std::string utf8 = Cp932ToUtf8(text);
        if (Utf8ToCp932(utf8).size() == 0 && size != 0)
            std::abort();
    } catch (const EEncodingError &) {
    }
    try {
        (void)Utf8ToCp932(text);
    } catch (const EEncodingError &) {
    }
    return 0;
}
