#include "tests/support/bmp_builder.h"

#include <algorithm>
#include <fstream>

#include "tests/support/lumo_test.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v);
    Put16(out, v >> 16);
}

}  // namespace

std::vector<uint8_t> BuildBmp(const BmpFields& f) {
    std::vector<uint8_t> info;
    Put32(info, f.infoSize);
    if (f.infoSize == 12) {
        Put16(info, static_cast<uint32_t>(f.width));
        Put16(info, static_cast<uint32_t>(f.height));
        Put16(info, f.planes);
        Put16(info, f.bitCount);
    } else {
        Put32(info, static_cast<uint32_t>(f.width));
        Put32(info, static_cast<uint32_t>(f.height));
        Put16(info, f.planes);
        Put16(info, f.bitCount);
        Put32(info, f.compression);
        Put32(info, static_cast<uint32_t>(f.pixels.size()));
        Put32(info, f.xPixelsPerMetre);
        Put32(info, f.yPixelsPerMetre);
        Put32(info, f.colorsUsed);
        Put32(info, 0);  // colours important
        for (uint32_t mask : f.masks) Put32(info, mask);
        info.resize(std::max<size_t>(info.size(), f.infoSize), 0);
    }
    for (uint32_t entry : f.table) {
        info.push_back(static_cast<uint8_t>(entry));
        info.push_back(static_cast<uint8_t>(entry >> 8));
        info.push_back(static_cast<uint8_t>(entry >> 16));
        if (f.infoSize != 12) info.push_back(0);
    }
    const uint32_t offset = f.pixelOffset.value_or(static_cast<uint32_t>(14 + info.size()));
    std::vector<uint8_t> file = {'B', 'M'};
    Put32(file, static_cast<uint32_t>(14 + info.size() + f.pixels.size()));
    Put32(file, 0);
    Put32(file, offset);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), f.pixels.begin(), f.pixels.end());
    return file;
}

std::vector<uint8_t> StoredRows(const std::vector<std::vector<uint8_t>>& rows, size_t rowBytes, bool topDown) {
    std::vector<uint8_t> stored;
    for (size_t i = 0; i < rows.size(); ++i) {
        std::vector<uint8_t> row = rows[topDown ? i : rows.size() - 1 - i];
        row.resize(rowBytes, 0);
        stored.insert(stored.end(), row.begin(), row.end());
    }
    return stored;
}

std::vector<uint32_t> GrayTable(int entries, int step) {
    std::vector<uint32_t> table;
    for (int i = 0; i < entries; ++i) table.push_back(static_cast<uint32_t>(i * step) * 0x010101u);
    return table;
}

std::vector<uint8_t> EncodeRle(const IMG& image) {
    const bool fourBits = image.bitsPerPixel == 4;
    std::vector<uint8_t> codes;
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<uint8_t> p(image.width);
        for (int x = 0; x < image.width; ++x) p[x] = static_cast<uint8_t>(PixelAt(image, x, y));
        auto runAt = [&](int i) {
            int n = 1;
            while (i + n < image.width && n < 255 && p[i + n] == p[i]) ++n;
            return n;
        };
        for (int i = 0; i < image.width;) {
            int literal = 0;
            while (i + literal < image.width && literal < 254 && runAt(i + literal) < 3) ++literal;
            if (literal >= 3) {
                codes.push_back(0);
                codes.push_back(static_cast<uint8_t>(literal));
                const int bytes = fourBits ? (literal + 1) / 2 : literal;
                for (int b = 0; b < bytes; ++b)
                    codes.push_back(fourBits ? static_cast<uint8_t>(p[i + 2 * b] << 4 |
                                                                    (2 * b + 1 < literal ? p[i + 2 * b + 1] : 0))
                                             : p[i + b]);
                if (bytes % 2) codes.push_back(0);
                i += literal;
                continue;
            }
            const int n = literal ? 1 : runAt(i);
            codes.push_back(static_cast<uint8_t>(n));
            codes.push_back(fourBits ? static_cast<uint8_t>(p[i] << 4 | p[i]) : p[i]);
            i += n;
        }
        codes.push_back(0);
        codes.push_back(0);
    }
    codes.push_back(0);
    codes.push_back(1);
    return codes;
}

std::vector<uint8_t> RgbPixels(const IMG& image) {
    std::vector<uint8_t> rgb;
    rgb.reserve(3u * image.width * image.height);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint32_t v = PixelAt(image, x, y);
            uint32_t color;
            switch (KindOf(image)) {
                case ImageKind::BW: color = v ? 0xFFFFFF : 0; break;
                case ImageKind::GRAY16: color = 17 * v * 0x010101u; break;
                case ImageKind::GRAY256: color = v * 0x010101u; break;
                case ImageKind::RGB: color = v; break;
                default:
                    color = static_cast<uint32_t>(image.palette[3 * v]) << 16 | image.palette[3 * v + 1] << 8 |
                            image.palette[3 * v + 2];
            }
            rgb.push_back(static_cast<uint8_t>(color >> 16));
            rgb.push_back(static_cast<uint8_t>(color >> 8));
            rgb.push_back(static_cast<uint8_t>(color));
        }
    return rgb;
}

std::vector<uint8_t> PillowRgb(const std::string& path) {
    const std::string python = PillowPython();
    if (python.empty()) return {};
    const std::string script =
        "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
        "sys.stdout.write('%d %d\\n' % im.size); sys.stdout.flush(); "
        "sys.stdout.buffer.write(im.convert('RGB').tobytes())";
    CommandResult result = RunCommand(python + " -c " + ShellQuote(script) + " " + ShellQuote(path) + " 2>/dev/null");
    const size_t end = result.output.find('\n');
    if (result.status != 0 || end == std::string::npos) return {};
    return {result.output.begin() + static_cast<long>(end) + 1, result.output.end()};
}

std::vector<uint8_t> MagickRgb(const std::string& path) {
    CommandResult result = RunCommand("/usr/bin/convert " + ShellQuote(path) + " -depth 8 rgb:- 2>/dev/null");
    if (result.status != 0) return {};
    return {result.output.begin(), result.output.end()};
}

void WritePpm(const IMG& image, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.width << " " << image.height << "\n255\n";
    const std::vector<uint8_t> rgb = RgbPixels(image);
    out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
}
