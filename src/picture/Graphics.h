#pragma once

// All built-in picture classes and the loader.
#include "picture/Bitmap.h"
#include "picture/Graphic.h"
#include "picture/Icon.h"
#include "picture/JPEGImage.h"
#include "picture/Metafile.h"
#include "picture/Picture.h"
#include "picture/PictureFormats.h"
