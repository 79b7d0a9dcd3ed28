#pragma once

#include "render/PlainBmpRows.h"

#include <QImage>

#include <string>

// Shrinks the plain BMP (`layout` read from the same file) to `size` by area averaging and returns it in
// BMP's byte order (Format_BGR888). `size` must be no larger than the picture in either direction.
// Raises EInvalidGraphic when the rows cannot be read (the file changed meanwhile).
QImage ShrinkPlainBmp(const std::string &cp932Path, const PlainBmpLayout &layout, const QSize &size);
