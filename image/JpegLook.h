// A side the scanner sent as JPEG, looked at from one reduced decode: whether it is blank and its
// small picture, each only when asked for.
#pragma once

#include "image/SidePicture.h"

#include <cstddef>
#include <cstdint>

// Sets look.Blank (when judge; a file that cannot be judged is content) and look.Picture (when
// picture). Decodes at the scale the detector needs when judging, else at 1/8; not at all when
// neither is asked.
void LookAtJpeg(const uint8_t *data, size_t size, bool judge, bool picture, TSideLook &look);
