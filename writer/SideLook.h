// A side's look, taken where its pixels are: its small picture for the window and, when blank
// sides are set aside, whether it is blank.
#pragma once

#include "writer/SaveRec.h"

// Fills rec.Look once, from the bitmap or the scanner's JPEG: the side's small picture and, when
// blank sides are set aside, whether it is blank. Called where the pixels are: by the encoder
// before it lets them go, or by the writer.
void LookAtSide(TSaveRec &rec);
