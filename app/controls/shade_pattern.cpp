#include "shade_pattern.h"

#include <algorithm>

#include "crt_rand.h"

namespace controls {
namespace {

// A soft S-curve through 0: t^3 / 128 / 128, each division truncating.
int Cube(int t) { return t * t * t / 128 / 128; }

// rand() scaled to 0..n (n > 0); the divisor never reaches 0, even for n beyond the
// generator's range.
int RandScaled(int n) { return CrtRand() / std::max(1, kCrtRandMax / n); }

class Face {
public:
    Face(CDibBitmap& face, uint8_t g)
        : m_bits(face.GetBits()), m_stride(face.GetStride()), m_w(face.GetWidth()), m_h(face.GetHeight()), m_g(g),
          m_noiseDivisor(kCrtRandMax / (g ? 2 * g : 1)) {}

    int w() const { return m_w; }
    int h() const { return m_h; }
    int g() const { return m_g; }
    bool empty() const { return !m_bits || m_w <= 0 || m_h <= 0; }
    uint8_t& at(int x, int y) { return m_bits[static_cast<size_t>(y) * m_stride + x]; }
    int Noise() { return CrtRand() / m_noiseDivisor - m_g; }
    int UnbiasedNoise() { return CrtRand() / m_noiseDivisor; }

    // Stores value(x, y) plus noise in every pixel, rows from the bottom.
    template <typename Value>
    void Store(Value value) {
        for (int y = 0; y < m_h; ++y)
            for (int x = 0; x < m_w; ++x) at(x, y) = static_cast<uint8_t>(value(x, y) + Noise());
    }

private:
    uint8_t* m_bits;
    uint32_t m_stride;
    int m_w, m_h, m_g;
    int m_noiseDivisor;
};

// Style 7's bands at the left and right edges, narrowing toward the middle rows.
// A face too small for bands (narrower than 6 or lower than 2) keeps its gradient.
void AddSideBands(Face& f) {
    const int w = f.w(), h = f.h(), g = f.g();
    const int r = std::min(w / 6, 16);
    const int k = h * h / 4;
    if (r == 0 || k == 0) return;
    for (int y = 0; y < h; ++y) {
        const int dy = y - h / 2;
        for (int x = 0; x < w; ++x) {
            const int dx = x - w / 2;
            const int u = w / 2 + dy * dy * r / k - r;
            int value = f.at(x, y);
            if (dx > u) value = ((w - x) * 128) / r + g;
            if (dx + u < 0) value = (255 - g) - x * 128 / r;
            f.at(x, y) = static_cast<uint8_t>(value + f.Noise());
        }
    }
}

// Style 8: dark diagonal strokes over a diagonal gradient.
void RenderStrokes(CDibBitmap& face, Face& f) {
    const int w = f.w(), h = f.h(), g = f.g();
    face.Fill(0);
    for (int stroke = 0; stroke < 200; ++stroke) {
        const int x0 = RandScaled(w);
        const int y0 = RandScaled(h);
        const int length = RandScaled(std::min(w, h)) / 2;
        const auto value = static_cast<uint8_t>(RandScaled(40));
        for (int i = 0; i < length; ++i) {
            if (x0 - i > 0 && y0 + i < h) face.SetPixel(x0 - i, y0 + i, value);
            if (x0 + i < w && y0 - i > 0) face.SetPixel(x0 + i, y0 - i, value);
        }
    }
    const int k = (255 - 2 * g - 40) / 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            f.at(x, y) = static_cast<uint8_t>(f.at(x, y) + k * y / h + k * (w - x) / w + f.UnbiasedNoise());
}

}  // namespace

void RenderShadePattern(CDibBitmap& face, uint32_t style, uint8_t granularity) {
    Face f(face, granularity);
    if (f.empty()) return;
    const int w = f.w(), h = f.h(), g = f.g();
    switch (style) {
    case 1: {
        const int k = (255 - 2 * g) / 2;
        f.Store([&](int x, int y) { return g + k * y / h + k * (w - x) / w; });
        break;
    }
    case 2: {
        const int k = 255 - 2 * g;
        f.Store([&](int, int y) { return g + k * y / h; });
        break;
    }
    case 3: {
        const int k = 255 - 2 * g;
        f.Store([&](int x, int) { return g + k * (w - x) / w; });
        break;
    }
    case 4:
        f.Store([&](int, int y) { return Cube(y * 255 / h - 127) * (128 - g) / 128 + 128; });
        break;
    case 5:
        f.Store([&](int x, int) { return (128 - g) * Cube((w - x) * 255 / w - 127) / 128 + 128; });
        break;
    case 6:
        f.Store([&](int x, int y) {
            const int v = (Cube(y * 255 / h - 127) + Cube((w - x) * 255 / w - 127)) * (128 - g) / 128 + 128;
            return std::clamp(v, g, 255 - g);
        });
        break;
    case 7:
        f.Store([&](int, int y) { return Cube(y * 255 / h - 127) * (128 - 2 * g) / 128 + 128; });
        AddSideBands(f);
        break;
    case 8:
        RenderStrokes(face, f);
        break;
    default:
        f.Store([](int, int) { return 128; });
        break;
    }
}

}  // namespace controls
