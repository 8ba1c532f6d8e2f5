#include "paper.h"

#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace atlasgen {

namespace {

// Smooth random field: bilinear interpolation of a coarse random grid.
class ValueNoise {
public:
    ValueNoise(int width, int height, int cell, std::mt19937& rng)
        : m_cell(cell)
        , m_cols(width / cell + 2)
        , m_rows(height / cell + 2)
        , m_values(size_t(m_cols * m_rows))
    {
        std::uniform_real_distribution<float> uni(-1.0f, 1.0f);
        for (float& v : m_values)
            v = uni(rng);
    }
    float at(int x, int y) const
    {
        const float fx = float(x) / m_cell, fy = float(y) / m_cell;
        const int ix = int(fx), iy = int(fy);
        const float tx = fx - ix, ty = fy - iy;
        const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
        const float a = v(ix, iy), b = v(ix + 1, iy), c = v(ix, iy + 1), d = v(ix + 1, iy + 1);
        return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
    }

private:
    float v(int x, int y) const { return m_values[size_t(y * m_cols + x)]; }
    int m_cell, m_cols, m_rows;
    std::vector<float> m_values;
};

} // namespace

QImage makePaper(QSize size, unsigned seed)
{
    QImage paper(size, QImage::Format_RGB32);
    std::mt19937 rng(seed);
    const int w = size.width(), h = size.height();
    const int coarse = std::max(8, std::min(w, h) / 6), fine = std::max(4, std::min(w, h) / 60);
    const ValueNoise mottle(w, h, coarse, rng), grain(w, h, fine, rng);
    const double edge = std::min(w, h) * 0.05;
    uint32_t state = seed * 2654435761u + 1u;
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(paper.scanLine(y));
        const double dy = std::min(y, h - 1 - y);
        for (int x = 0; x < w; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const float fibre = float(state & 0xff) / 255.0f - 0.5f;
            const double dx = std::min(x, w - 1 - x);
            const double e = std::max(0.0, 1.0 - std::min(dx, dy) / edge);
            const double tone
                = 1.0 + 0.035 * mottle.at(x, y) + 0.02 * grain.at(x, y) + 0.03 * fibre - 0.09 * e * e;
            const int r = std::clamp(int(238 * tone), 0, 255);
            const int g = std::clamp(int(228 * tone - 10 * e), 0, 255);
            const int b = std::clamp(int(200 * tone - 22 * e), 0, 255);
            line[x] = qRgb(r, g, b);
        }
    }
    // foxing: a few soft brown spots
    QPainter p(&paper);
    p.setRenderHint(QPainter::Antialiasing);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    const int spots = 3 + int(uni(rng) * 6);
    for (int i = 0; i < spots; ++i) {
        const QPointF c(uni(rng) * w, uni(rng) * h);
        const double r = std::min(w, h) * (0.003 + 0.01 * uni(rng));
        QRadialGradient g(c, r);
        g.setColorAt(0, QColor(150, 110, 60, 60));
        g.setColorAt(1, QColor(150, 110, 60, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c, r, r);
    }
    return paper;
}

void printOnPaper(QImage& paper, const QImage& print)
{
    QPainter p(&paper);
    p.setCompositionMode(QPainter::CompositionMode_Multiply);
    p.drawImage(0, 0, print);
}

} // namespace atlasgen
