// Build tool (runs on the build machine): writes the program's icons as .ico files for
// the resource compiler, from the same pixels every host paints (resources/icons).
//   make_icons OUTPUT_DIR   → OUTPUT_DIR/icon_129.ico (16 and 32 px), icon_135.ico
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/icons.h"

namespace {

void put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// One icon image: a 32-bit bottom-up DIB with its AND mask.
std::vector<uint8_t> dib(const kc::IconImage& img) {
    std::vector<uint8_t> out;
    const int w = img.width, h = img.height;
    const int mask_row = ((w + 31) / 32) * 4;
    put32(out, 40);
    put32(out, static_cast<uint32_t>(w));
    put32(out, static_cast<uint32_t>(h * 2));
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);
    put32(out, static_cast<uint32_t>(w * h * 4 + mask_row * h));
    for (int i = 0; i < 4; ++i) put32(out, 0);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) put32(out, img.argb[static_cast<size_t>(y * w + x)]);  // B G R A in memory
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(static_cast<size_t>(mask_row), 0);
        for (int x = 0; x < w; ++x)
            if ((img.argb[static_cast<size_t>(y * w + x)] >> 24) == 0) row[static_cast<size_t>(x / 8)] |= 0x80 >> (x % 8);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

bool write_ico(const std::string& path, const std::vector<const kc::IconImage*>& images) {
    std::vector<uint8_t> out;
    put16(out, 0);
    put16(out, 1);
    put16(out, static_cast<unsigned>(images.size()));
    std::vector<std::vector<uint8_t>> bodies;
    for (const kc::IconImage* img : images) bodies.push_back(dib(*img));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<uint8_t>(images[i]->width));
        out.push_back(static_cast<uint8_t>(images[i]->height));
        out.push_back(0);
        out.push_back(0);
        put16(out, 1);
        put16(out, 32);
        put32(out, static_cast<uint32_t>(bodies[i].size()));
        put32(out, offset);
        offset += static_cast<uint32_t>(bodies[i].size());
    }
    for (const auto& b : bodies) out.insert(out.end(), b.begin(), b.end());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::string dir = argv[1];
    const kc::IconImage* p16 = kc::find_icon(129, 16);
    const kc::IconImage* p32 = kc::find_icon(129, 32);
    const kc::IconImage* bulb = kc::find_icon(135, 32);
    if (!p16 || !p32 || !bulb) return 1;
    if (!write_ico(dir + "/icon_129.ico", {p16, p32}) || !write_ico(dir + "/icon_135.ico", {bulb})) return 1;
    return 0;
}
