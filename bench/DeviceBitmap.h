// A page as the TWAIN layer hands it to the page handler: a bottom-up DIB section.
#pragma once

#include "win/Owners.h"

#include <windows.h>

#include <FreeImage.h>

// A DIB section of the image's size and depth holding a copy of its pixels (and grey table).
win::UniqueBitmap NewDibSectionOf(FIBITMAP *image);
