// Turns the test program's images, kept as text grids in the repository, into the
// icon (.ico) and bitmap (.bmp) files its resource scripts name.
//
//   image_tool icon   <grid.txt> <out.ico>   a 16x16 image and its 32x32 double
//   image_tool bitmap <grid.txt> <out.bmp>   a 24-bit bitmap, each cell 2x2 pixels
//   image_tool strip  <grid.txt> <out.bmp>   a 16-colour bitmap, each cell one pixel
//                                            (toolbar button images)
//
// A grid file holds palette lines "<char> RRGGBB" (or "<char> none" for a
// transparent cell), then a line "grid", then one text line per row of cells.
// Lines starting with '#' are comments.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Pixel {
    uint8_t r = 0, g = 0, b = 0;
    bool opaque = false;
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<Pixel> pixels;  // rows top-down
    const Pixel& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

std::optional<Image> ReadGrid(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return std::nullopt;
    }
    std::map<char, Pixel> palette;
    std::vector<std::string> rows;
    bool inGrid = false;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!inGrid) {
            if (line.empty() || line[0] == '#') continue;
            if (line == "grid") {
                inGrid = true;
                continue;
            }
            std::istringstream fields(line.substr(1));
            std::string value;
            fields >> value;
            Pixel pixel;
            unsigned rgb = 0;
            if (value != "none") {
                if (value.size() != 6 || std::sscanf(value.c_str(), "%6x", &rgb) != 1) {
                    error = path + ":" + std::to_string(number) + ": bad colour '" + value + "'";
                    return std::nullopt;
                }
                pixel = {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb), true};
            }
            palette[line[0]] = pixel;
        } else if (!line.empty()) {
            rows.push_back(line);
        }
    }
    Image image;
    image.height = static_cast<int>(rows.size());
    image.width = rows.empty() ? 0 : static_cast<int>(rows[0].size());
    if (image.width == 0) {
        error = path + ": empty grid";
        return std::nullopt;
    }
    for (size_t y = 0; y < rows.size(); ++y) {
        if (static_cast<int>(rows[y].size()) != image.width) {
            error = path + ": row " + std::to_string(y + 1) + " has another width";
            return std::nullopt;
        }
        for (char cell : rows[y]) {
            auto colour = palette.find(cell);
            if (colour == palette.end()) {
                error = path + ": row " + std::to_string(y + 1) + ": no colour for '" + cell + "'";
                return std::nullopt;
            }
            image.pixels.push_back(colour->second);
        }
    }
    return image;
}

Image Scaled(const Image& source, int factor) {
    Image image{source.width * factor, source.height * factor, {}};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) image.pixels.push_back(source.at(x / factor, y / factor));
    return image;
}

class Writer {
public:
    void u8(uint8_t v) { bytes.push_back(v); }
    void u16(uint16_t v) { u8(v & 0xFF); u8(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
    void append(const std::vector<uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
    std::vector<uint8_t> bytes;
};

void WriteInfoHeader(Writer& out, int width, int height, int bits, uint32_t imageSize) {
    out.u32(40);
    out.u32(width);
    out.u32(height);
    out.u16(1);
    out.u16(bits);
    out.u32(0);  // BI_RGB
    out.u32(imageSize);
    out.u32(0);
    out.u32(0);
    out.u32(0);
    out.u32(0);
}

// One icon image: header (height doubled for the mask), 32-bit colour rows and the
// 1-bit AND mask rows, both bottom-up.
std::vector<uint8_t> IconImage(const Image& image) {
    const int maskStride = (image.width + 31) / 32 * 4;
    Writer out;
    WriteInfoHeader(out, image.width, image.height * 2, 32,
                    static_cast<uint32_t>(image.width * image.height * 4 + maskStride * image.height));
    for (int y = image.height - 1; y >= 0; --y)
        for (int x = 0; x < image.width; ++x) {
            const Pixel& p = image.at(x, y);
            out.u8(p.b);
            out.u8(p.g);
            out.u8(p.r);
            out.u8(p.opaque ? 0xFF : 0x00);
        }
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskStride, 0);
        for (int x = 0; x < image.width; ++x)
            if (!image.at(x, y).opaque) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.append(row);
    }
    return out.bytes;
}

std::vector<uint8_t> IconFile(const Image& image) {
    const std::vector<Image> images = {image, Scaled(image, 2)};
    std::vector<std::vector<uint8_t>> data;
    for (const Image& each : images) data.push_back(IconImage(each));
    Writer out;
    out.u16(0);
    out.u16(1);  // icon
    out.u16(static_cast<uint16_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.u8(static_cast<uint8_t>(images[i].width));
        out.u8(static_cast<uint8_t>(images[i].height));
        out.u8(0);
        out.u8(0);
        out.u16(1);
        out.u16(32);
        out.u32(static_cast<uint32_t>(data[i].size()));
        out.u32(offset);
        offset += static_cast<uint32_t>(data[i].size());
    }
    for (const auto& each : data) out.append(each);
    return out.bytes;
}

// Transparent cells take the dialog face colour of the default scheme.
constexpr uint8_t kFaceGrey = 0xC0;

void WriteFileHeader(Writer& out, uint32_t headerSize, uint32_t imageSize) {
    out.u8('B');
    out.u8('M');
    out.u32(14 + headerSize + imageSize);
    out.u32(0);
    out.u32(14 + headerSize);
}

// The colours of a strip as one palette of at most 16 entries; empty when more.
std::vector<uint32_t> StripPalette(const Image& image) {
    std::vector<uint32_t> palette;
    for (const Pixel& p : image.pixels) {
        const uint32_t rgb = p.opaque ? (p.r << 16 | p.g << 8 | p.b) : (kFaceGrey << 16 | kFaceGrey << 8 | kFaceGrey);
        if (std::find(palette.begin(), palette.end(), rgb) == palette.end()) palette.push_back(rgb);
    }
    if (palette.size() > 16) palette.clear();
    return palette;
}

std::vector<uint8_t> StripFile(const Image& image, const std::vector<uint32_t>& palette) {
    const int stride = (image.width * 4 + 31) / 32 * 4;
    const uint32_t imageSize = static_cast<uint32_t>(stride * image.height);
    Writer out;
    WriteFileHeader(out, 40 + 16 * 4, imageSize);
    WriteInfoHeader(out, image.width, image.height, 4, imageSize);
    out.bytes[14 + 32] = 16;  // biClrUsed
    for (size_t i = 0; i < 16; ++i) out.u32(i < palette.size() ? palette[i] : 0);
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < image.width; ++x) {
            const Pixel& p = image.at(x, y);
            const uint32_t rgb = p.opaque ? (p.r << 16 | p.g << 8 | p.b) : (kFaceGrey << 16 | kFaceGrey << 8 | kFaceGrey);
            const auto index = static_cast<uint8_t>(std::find(palette.begin(), palette.end(), rgb) - palette.begin());
            row[x / 2] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
        }
        out.append(row);
    }
    return out.bytes;
}

std::vector<uint8_t> BitmapFile(const Image& source) {
    const Image image = Scaled(source, 2);
    const int stride = (image.width * 3 + 3) / 4 * 4;
    const uint32_t imageSize = static_cast<uint32_t>(stride * image.height);
    Writer out;
    WriteFileHeader(out, 40, imageSize);
    WriteInfoHeader(out, image.width, image.height, 24, imageSize);
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < image.width; ++x) {
            const Pixel& p = image.at(x, y);
            row[x * 3] = p.opaque ? p.b : kFaceGrey;
            row[x * 3 + 1] = p.opaque ? p.g : kFaceGrey;
            row[x * 3 + 2] = p.opaque ? p.r : kFaceGrey;
        }
        out.append(row);
    }
    return out.bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string kind = argc == 4 ? argv[1] : "";
    if (kind != "icon" && kind != "bitmap" && kind != "strip") {
        std::cerr << "usage: image_tool icon|bitmap|strip <grid.txt> <output>\n";
        return 2;
    }
    std::string error;
    const std::optional<Image> image = ReadGrid(argv[2], error);
    if (!image) {
        std::cerr << "image_tool: " << error << "\n";
        return 1;
    }
    if (kind == "icon" && (image->width > 128 || image->height > 128)) {
        std::cerr << "image_tool: " << argv[2] << ": an icon is at most 128 cells wide and high\n";
        return 1;
    }
    std::vector<uint8_t> bytes;
    if (kind == "strip") {
        const std::vector<uint32_t> palette = StripPalette(*image);
        if (palette.empty()) {
            std::cerr << "image_tool: " << argv[2] << ": a strip has at most 16 colours\n";
            return 1;
        }
        bytes = StripFile(*image, palette);
    } else {
        bytes = kind == "icon" ? IconFile(*image) : BitmapFile(*image);
    }
    std::ofstream out(argv[3], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::cerr << "image_tool: cannot write " << argv[3] << "\n";
        return 1;
    }
    return 0;
}
