#pragma once

class CAnnotationLayer;
class CRaster;

// Draws the layer's marks into the picture's pixels for good. A picture with a palette is
// raised to 24 bits first. False when the picture could not be raised (it is left as it was).
bool BurnIn(CRaster& picture, const CAnnotationLayer& layer);
