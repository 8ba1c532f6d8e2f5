#pragma once
// Exact Euclidean distance transform (Felzenszwalb and Huttenlocher): for
// every pixel, the distance to the nearest feature pixel.

#include <vector>

namespace atlasgen {

// features: width * height flags, row by row. Returns distances in pixels.
std::vector<float> distanceToFeatures(const std::vector<unsigned char>& features, int width, int height);

} // namespace atlasgen
