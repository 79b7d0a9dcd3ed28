#pragma once

#include "render/RowSource.h"

#include <QImage>

#include <optional>

// The rows of `source` shrunk to `size` by area averaging, on a second thread while the source reads,
// in BMP's byte order (Format_BGR888); rows that already have that size are taken as they are. The
// source must be at least `size` in both directions. nullopt when the source failed.
std::optional<QImage> ShrinkRows(RowSource &source, const QSize &size);

// The rows of `source` as one opaque Format_RGB32 picture; nullopt when the source failed. Raises
// EOutOfMemory when the picture is over the memory guard or cannot be allocated.
std::optional<QImage> CollectRows(RowSource &source);
