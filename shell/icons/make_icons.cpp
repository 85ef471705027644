// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the program's icons: the GAP file type's (a page with a timeline, black speech and blue
// silences) and the program's own (speech bars around a blue silence), as SVG for freedesktop
// and Qt, and the file type's as GAP.ico for the Windows registry.
// Usage: make_icons FOLDER. The drawings are checked in beside this file; a test checks they
// are what this program writes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Point {
    double x = 0;
    double y = 0;
};

struct Colour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

/// A filled polygon on the 64 by 64 canvas. Edges on multiples of 4 stay on whole pixels at
/// 16, 32 and 48 pixels.
struct Shape {
    std::vector<Point> corners;
    Colour fill;
    bool rectangle = false;
};

struct Icon {
    std::string title;
    std::vector<Shape> shapes; ///< painted in order, later over earlier
};

constexpr double kCanvas = 64;

Shape rect(double left, double top, double right, double bottom, Colour fill) {
    return {{{left, top}, {right, top}, {right, bottom}, {left, bottom}}, fill, true};
}

Shape polygon(std::vector<Point> corners, Colour fill) {
    return {std::move(corners), fill, false};
}

constexpr Colour kOutline{0x4a, 0x50, 0x58};
constexpr Colour kPaper{0xff, 0xff, 0xff};
constexpr Colour kFold{0xcf, 0xd4, 0xdb};
constexpr Colour kText{0x9a, 0xa1, 0xaa};
constexpr Colour kSpeech{0x00, 0x00, 0x00};
constexpr Colour kSilence{0x2f, 0x6f, 0xff};
constexpr Colour kBackground{0x1d, 0x24, 0x30};
constexpr Colour kSpeechBar{0xf2, 0xf2, 0xf2};

Icon fileTypeIcon() {
    return {"GAP file",
            {
                polygon({{12, 4}, {40, 4}, {52, 16}, {52, 60}, {12, 60}}, kOutline),
                polygon({{16, 8}, {38, 8}, {48, 18}, {48, 56}, {16, 56}}, kPaper),
                polygon({{38, 8}, {48, 18}, {38, 18}}, kFold),
                rect(20, 16, 32, 20, kText),
                rect(20, 24, 40, 28, kText),
                rect(20, 32, 44, 48, kSpeech),
                rect(24, 36, 28, 44, kSilence),
                rect(32, 36, 40, 44, kSilence),
            }};
}

Icon programIcon() {
    return {"Ravik",
            {
                polygon({{4, 8}, {8, 4}, {56, 4}, {60, 8}, {60, 56}, {56, 60}, {8, 60}, {4, 56}},
                        kBackground),
                rect(8, 24, 12, 40, kSpeechBar),
                rect(16, 16, 20, 48, kSpeechBar),
                rect(24, 28, 40, 36, kSilence),
                rect(44, 12, 48, 52, kSpeechBar),
                rect(52, 20, 56, 44, kSpeechBar),
            }};
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string hex(Colour colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour.red, colour.green, colour.blue);
    return text;
}

std::string svg(const Icon& icon) {
    std::string text = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
                       "viewBox=\"0 0 64 64\">\n  <title>" +
                       icon.title + "</title>\n";
    for (const Shape& shape : icon.shapes) {
        if (shape.rectangle) {
            const Point& from = shape.corners[0];
            const Point& to = shape.corners[2];
            text += "  <rect x=\"" + number(from.x) + "\" y=\"" + number(from.y) + "\" width=\"" +
                    number(to.x - from.x) + "\" height=\"" + number(to.y - from.y) + "\"";
        } else {
            text += "  <polygon points=\"";
            for (std::size_t i = 0; i < shape.corners.size(); ++i)
                text += (i > 0 ? " " : "") + number(shape.corners[i].x) + "," +
                        number(shape.corners[i].y);
            text += "\"";
        }
        text += " fill=\"" + hex(shape.fill) + "\"/>\n";
    }
    return text + "</svg>\n";
}

bool inside(const std::vector<Point>& corners, Point point) {
    bool in = false;
    for (std::size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
        const Point& a = corners[i];
        const Point& b = corners[j];
        if ((a.y > point.y) != (b.y > point.y) &&
            point.x < (b.x - a.x) * (point.y - a.y) / (b.y - a.y) + a.x)
            in = !in;
    }
    return in;
}

/// Straight (not premultiplied) blue, green, red, alpha, rows from the top.
std::vector<std::uint8_t> render(const Icon& icon, int size) {
    constexpr int kSamples = 8; // per pixel and axis
    const double unitsPerPixel = kCanvas / size;
    std::vector<std::uint8_t> pixels;
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            double red = 0, green = 0, blue = 0, covered = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Point point{(column + (sx + 0.5) / kSamples) * unitsPerPixel,
                                      (row + (sy + 0.5) / kSamples) * unitsPerPixel};
                    for (auto shape = icon.shapes.rbegin(); shape != icon.shapes.rend(); ++shape) {
                        if (inside(shape->corners, point)) {
                            red += shape->fill.red;
                            green += shape->fill.green;
                            blue += shape->fill.blue;
                            covered += 1;
                            break;
                        }
                    }
                }
            }
            auto channel = [&](double sum) {
                return static_cast<std::uint8_t>(covered > 0 ? std::lround(sum / covered) : 0);
            };
            pixels.push_back(channel(blue));
            pixels.push_back(channel(green));
            pixels.push_back(channel(red));
            pixels.push_back(
                static_cast<std::uint8_t>(std::lround(255 * covered / (kSamples * kSamples))));
        }
    }
    return pixels;
}

void put16(std::vector<std::uint8_t>& bytes, unsigned value) {
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& bytes, unsigned value) {
    put16(bytes, value & 0xFFFF);
    put16(bytes, value >> 16);
}

/// One image of an ICO file: a BITMAPINFOHEADER of twice the height (colour, then mask), the
/// 32-bit pixels from the bottom row up, and the 1-bit mask, set where nothing is drawn.
std::vector<std::uint8_t> icoImage(const Icon& icon, int size) {
    const std::vector<std::uint8_t> pixels = render(icon, size);
    const auto side = static_cast<unsigned>(size);
    const unsigned maskRowBytes = (side + 31) / 32 * 4;
    std::vector<std::uint8_t> bytes;
    put32(bytes, 40);
    put32(bytes, side);
    put32(bytes, 2 * side);
    put16(bytes, 1);  // planes
    put16(bytes, 32); // bits per pixel
    put32(bytes, 0);  // BI_RGB
    put32(bytes, side * side * 4 + maskRowBytes * side);
    for (int i = 0; i < 4; ++i)
        put32(bytes, 0); // resolution and palette: unused
    for (int row = size - 1; row >= 0; --row) {
        const auto* start = pixels.data() + static_cast<std::size_t>(row) * side * 4;
        bytes.insert(bytes.end(), start, start + side * 4);
    }
    for (int row = size - 1; row >= 0; --row) {
        std::vector<std::uint8_t> mask(maskRowBytes, 0);
        for (unsigned column = 0; column < side; ++column)
            if (pixels[(static_cast<std::size_t>(row) * side + column) * 4 + 3] == 0)
                mask[column / 8] |= static_cast<std::uint8_t>(0x80U >> (column % 8));
        bytes.insert(bytes.end(), mask.begin(), mask.end());
    }
    return bytes;
}

std::vector<std::uint8_t> ico(const Icon& icon, const std::vector<int>& sizes) {
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : sizes)
        images.push_back(icoImage(icon, size));
    std::vector<std::uint8_t> bytes;
    put16(bytes, 0); // reserved
    put16(bytes, 1); // an icon, not a cursor
    put16(bytes, static_cast<unsigned>(sizes.size()));
    auto offset = static_cast<unsigned>(6 + 16 * sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        bytes.push_back(static_cast<std::uint8_t>(sizes[i])); // width
        bytes.push_back(static_cast<std::uint8_t>(sizes[i])); // height
        bytes.push_back(0);                                   // no palette
        bytes.push_back(0);                                   // reserved
        put16(bytes, 1);                                      // planes
        put16(bytes, 32);                                     // bits per pixel
        put32(bytes, static_cast<unsigned>(images[i].size()));
        put32(bytes, offset);
        offset += static_cast<unsigned>(images[i].size());
    }
    for (const auto& image : images)
        bytes.insert(bytes.end(), image.begin(), image.end());
    return bytes;
}

bool write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

bool write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    return write(path, std::string(bytes.begin(), bytes.end()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_icons FOLDER\n";
        return 2;
    }
    const std::string folder = argv[1];
    const bool written = write(folder + "/application-x-gap.svg", svg(fileTypeIcon())) &&
                         write(folder + "/ravik.svg", svg(programIcon())) &&
                         write(folder + "/GAP.ico", ico(fileTypeIcon(), {16, 32, 48}));
    if (!written) {
        std::cerr << "make_icons: could not write into " << folder << "\n";
        return 1;
    }
    return 0;
}
