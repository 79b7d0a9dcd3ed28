#pragma once

#include <cstdint>
#include <functional>

class QObject;

// Event types of the shell components. The sender is the object that raised the event.
enum class TMouseButton { mbLeft = 0, mbRight = 1, mbMiddle = 2 };

// A set of pressed buttons.
using TShiftState = uint8_t;
namespace Shift {
constexpr TShiftState Left = 1;
constexpr TShiftState Right = 2;
constexpr TShiftState Middle = 4;
} // namespace Shift

using TNotifyEvent = std::function<void(QObject *sender)>;
// x and y are screen coordinates.
using TMouseEvent = std::function<void(QObject *sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(QObject *sender, TShiftState shift, int x, int y)>;
