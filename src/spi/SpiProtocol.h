#pragma once

#include <cstdint>

// The messages between the plug-in host and its helper process (frames of SpiWire.h). The host sends
// one request at a time; the helper answers it with events and one kResult. The host answers every
// event; the helper does not wait for the answers (except for ring space) and takes them as they come,
// a non-zero one meaning stop. The host trusts nothing the helper says: the helper runs the plug-ins'
// code.
enum SpiMessage : uint32_t {
    // Host to helper. Requests name the library by the number kOpen gave.
    kSpiOpen = 1,    // path                 -> ok, refused, reason, exports, loaded path, library
    kSpiClose,       // library              (no answer)
    kSpiDescribe,    // library              -> the creation's information texts
    kSpiPluginInfo,  // library, number, buffer length -> result, buffer
    kSpiIsSupported, // library, name, 2048 bytes      -> result
    kSpiPictureInfo, // library, input       -> result, information, its text
    kSpiPicture,     // library, progress?, input      -> events, then result and the two blocks
    kSpiPictureRows, // library, wanted size, progress?, input -> events, then result
    kSpiEventsAck,   // a kSpiEvents taken: non-zero when a callback asked to stop (its ring region
                     // may be reused)

    // Helper to host.
    kSpiResult = 100,
    kSpiEvents, // the ring's size, a count, then the callbacks' events in order (the ring's memory
                // file with the first message that has rows):
                //   1: progress: numerator, denominator, whether the plug-in passed its user value back
                //   2: rows: width, height, y, count, format, stride, whether the pixels are in the
                //      ring, their offset there
};

// The helper is started with the host's process id and this version; one of another version (a
// program upgraded while it ran) ends at once with kSpiWrongVersion.
constexpr const char *kSpiProtocolVersion = "2";
constexpr int kSpiWrongVersion = 3;

// How the input of a picture call travels.
enum SpiInputKind : uint8_t {
    kSpiInputNone = 0,   // a null buffer
    kSpiInputText = 1,   // a file name, the bytes follow
    kSpiInputBytes = 2,  // the bytes follow
    kSpiInputShared = 3, // in the frame's memory file: offset, then the file's size
};

// How a local-memory block of a result travels.
enum SpiBlockKind : uint8_t {
    kSpiBlockNull = 0,    // no handle
    kSpiBlockBytes = 1,   // the bytes follow
    kSpiBlockShared = 2,  // the next memory file of the frame, sealed against shrinking
    kSpiBlockInvalid = 3, // a handle the plug-in made up: it cannot be locked
};

// Inputs and blocks up to this size travel in the frame itself.
constexpr uint64_t kSpiInlineBytes = 32 * 1024;
// The value handed to the plug-in as the callbacks' user value in the helper.
constexpr intptr_t kSpiHelperUser = 0x53504931;
