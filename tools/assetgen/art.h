// Pictures shared between groups of files: the title reuses the sprites.
#ifndef ASSETGEN_ART_H
#define ASSETGEN_ART_H

#include "raster.h"

// The right-facing cannon, 56 x 56, pivot at the centre.
Image CannonPicture();
// The enemy base, 50 x 50, centred on its position.
Image BasePicture();

#endif
