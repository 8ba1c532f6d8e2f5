#include "distancefield.h"

#include <algorithm>
#include <cmath>

namespace atlasgen {

namespace {

constexpr float kFar = 1e20f;

// Squared distance transform of one line of samples f (0 at features).
void transformLine(const float* f, int n, float* d, std::vector<int>& v, std::vector<float>& z)
{
    int k = 0;
    v[0] = 0;
    z[0] = -kFar;
    z[1] = kFar;
    auto meet = [&](int q, int p) {
        return ((f[q] + float(q) * q) - (f[p] + float(p) * p)) / (2.0f * q - 2.0f * p);
    };
    for (int q = 1; q < n; ++q) {
        float s = meet(q, v[k]);
        while (s <= z[k]) {
            --k;
            s = meet(q, v[k]);
        }
        ++k;
        v[k] = q;
        z[k] = s;
        z[k + 1] = kFar;
    }
    k = 0;
    for (int q = 0; q < n; ++q) {
        while (z[k + 1] < q)
            ++k;
        const float dq = float(q - v[k]);
        d[q] = dq * dq + f[v[k]];
    }
}

} // namespace

namespace {

// Cache-friendly transpose in tiles: the column pass then runs along rows.
void transpose(const std::vector<float>& in, std::vector<float>& out, int width, int height)
{
    constexpr int tile = 64;
    for (int y0 = 0; y0 < height; y0 += tile)
        for (int x0 = 0; x0 < width; x0 += tile)
            for (int y = y0; y < std::min(height, y0 + tile); ++y)
                for (int x = x0; x < std::min(width, x0 + tile); ++x)
                    out[size_t(x) * height + y] = in[size_t(y) * width + x];
}

void transformRows(std::vector<float>& grid, int width, int height)
{
    const size_t n = size_t(width);
    std::vector<float> f(n), z(n + 1);
    std::vector<int> v(n);
    for (int y = 0; y < height; ++y) {
        float* row = grid.data() + size_t(y) * width;
        std::copy(row, row + width, f.begin());
        transformLine(f.data(), width, row, v, z);
    }
}

} // namespace

std::vector<float> distanceToFeatures(const std::vector<unsigned char>& features, int width, int height)
{
    std::vector<float> grid(size_t(width) * height), columns(grid.size());
    for (size_t i = 0; i < grid.size(); ++i)
        grid[i] = features[i] ? 0.0f : kFar;
    transpose(grid, columns, width, height);
    transformRows(columns, height, width);
    transpose(columns, grid, height, width);
    transformRows(grid, width, height);
    for (float& g : grid)
        g = std::sqrt(g);
    return grid;
}

} // namespace atlasgen
