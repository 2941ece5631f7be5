#pragma once

// Windows metafiles read by our own record player, drawing with QPainter: placeable WMF files and
// enhanced metafiles (EMF) become 24-bit images of type 9 on a white background.
//
// Linking this library installs the player as the image library's WMF decoder, so
// CRaster::Decode/Load with type 9 reach it.

#include "image/byte_stream.h"
#include "image/raster.h"

// Renders the metafile at the stream's position into `image`. Fails with "empty WMF" for no
// data, "corrupted WMF" for anything unreadable and "Cancelled" when the escape is raised.
bool DecodeMetafile(CRaster& image, CByteStream& stream);

// Installs DecodeMetafile into the image library (done once when the program starts).
void InstallMetafilePlayer();
