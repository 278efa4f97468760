// A small writer of IFF ILBM pictures: an indexed image with a palette of up to 256
// colours becomes a FORM ILBM with BMHD, CMAP and BODY chunks, the body as interleaved
// bitplanes, stored as they are or packed with ByteRun1. Used by the banner tool and
// by the tests, which build pictures of their own with it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ilbm {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb &, const Rgb &) = default;
};

struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<Rgb> palette;         // at most 256 colours
    std::vector<std::uint8_t> pixels; // width * height palette indices, row by row
    int transparent = -1;             // the index shown as clear, or -1 for none
};

enum class Compression : std::uint8_t { None = 0, ByteRun1 = 1 };

// Packs one row with ByteRun1: a control byte n in 0..127 copies the next n + 1 bytes;
// n in -127..-1 repeats the next byte 1 - n times. -128 is never written, because some
// readers take it for a run instead of a no-op.
inline std::vector<std::uint8_t> pack_byterun1(const std::uint8_t *row, std::size_t size)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < size;) {
        std::size_t run = 1;
        while (i + run < size && run < 128 && row[i + run] == row[i]) ++run;
        if (run > 1) {
            out.push_back(static_cast<std::uint8_t>(257 - run)); // -(run - 1) as a byte
            out.push_back(row[i]);
        } else { // bytes as they are, up to the next two equal ones
            while (i + run < size && run < 128 &&
                   !(i + run + 1 < size && row[i + run] == row[i + run + 1]))
                ++run;
            out.push_back(static_cast<std::uint8_t>(run - 1));
            out.insert(out.end(), row + i, row + i + run);
        }
        i += run;
    }
    return out;
}

namespace detail {

inline void put_u8(std::vector<std::uint8_t> &out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

inline void put_u16(std::vector<std::uint8_t> &out, unsigned value)
{
    put_u8(out, value >> 8);
    put_u8(out, value);
}

inline void put_u32(std::vector<std::uint8_t> &out, std::size_t value)
{
    put_u16(out, static_cast<unsigned>(value >> 16));
    put_u16(out, static_cast<unsigned>(value & 0xFFFF));
}

inline void put_id(std::vector<std::uint8_t> &out, const char (&id)[5])
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(id[i]));
}

inline void put_chunk(std::vector<std::uint8_t> &out, const char (&id)[5],
                      const std::vector<std::uint8_t> &data)
{
    put_id(out, id);
    put_u32(out, data.size());
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2)
        out.push_back(0); // chunks start on even offsets
}

} // namespace detail

// The whole file. Throws std::invalid_argument for an image that does not fit the
// format: no pixels, more than 65535 pixels a side, an empty or too large palette, or
// an index outside the palette.
inline std::vector<std::uint8_t> encode(const IndexedImage &image,
                                        Compression compression = Compression::ByteRun1)
{
    using namespace detail;
    if (image.width < 1 || image.height < 1 || image.width > 0xFFFF || image.height > 0xFFFF)
        throw std::invalid_argument("ILBM: bad picture size");
    if (image.palette.empty() || image.palette.size() > 256)
        throw std::invalid_argument("ILBM: the palette needs 1 to 256 colours");
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    if (image.pixels.size() != width * height)
        throw std::invalid_argument("ILBM: pixel count differs from the size");
    for (std::uint8_t index : image.pixels)
        if (index >= image.palette.size())
            throw std::invalid_argument("ILBM: pixel outside the palette");
    if (image.transparent >= static_cast<int>(image.palette.size()))
        throw std::invalid_argument("ILBM: transparent colour outside the palette");

    int planes = 1; // as many as the palette needs
    while ((std::size_t{1} << planes) < image.palette.size()) ++planes;
    const unsigned w = static_cast<unsigned>(image.width);
    const unsigned h = static_cast<unsigned>(image.height);

    std::vector<std::uint8_t> bmhd;
    put_u16(bmhd, w);
    put_u16(bmhd, h);
    put_u16(bmhd, 0); // x
    put_u16(bmhd, 0); // y
    put_u8(bmhd, static_cast<unsigned>(planes));
    put_u8(bmhd, image.transparent >= 0 ? 2 : 0); // masking: none, or a transparent colour
    put_u8(bmhd, static_cast<unsigned>(compression));
    put_u8(bmhd, 0); // pad
    put_u16(bmhd, image.transparent >= 0 ? static_cast<unsigned>(image.transparent) : 0);
    put_u8(bmhd, 1);  // square pixels: x aspect
    put_u8(bmhd, 1);  //                y aspect
    put_u16(bmhd, w); // page size
    put_u16(bmhd, h);

    std::vector<std::uint8_t> cmap;
    for (const Rgb &c : image.palette) {
        cmap.push_back(c.r);
        cmap.push_back(c.g);
        cmap.push_back(c.b);
    }

    const std::size_t row_bytes = (width + 15) / 16 * 2; // whole 16-bit words
    std::vector<std::uint8_t> body;
    std::vector<std::uint8_t> plane_row(row_bytes);
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t *src = image.pixels.data() + y * width;
        for (int plane = 0; plane < planes; ++plane) {
            std::fill(plane_row.begin(), plane_row.end(), std::uint8_t{0});
            for (std::size_t x = 0; x < width; ++x)
                if ((src[x] >> plane) & 1)
                    plane_row[x / 8] =
                        static_cast<std::uint8_t>(plane_row[x / 8] | 0x80u >> (x % 8));
            if (compression == Compression::ByteRun1) {
                const std::vector<std::uint8_t> packed = pack_byterun1(plane_row.data(), row_bytes);
                body.insert(body.end(), packed.begin(), packed.end());
            } else {
                body.insert(body.end(), plane_row.begin(), plane_row.end());
            }
        }
    }

    std::vector<std::uint8_t> chunks;
    put_id(chunks, "ILBM");
    put_chunk(chunks, "BMHD", bmhd);
    put_chunk(chunks, "CMAP", cmap);
    put_chunk(chunks, "BODY", body);

    std::vector<std::uint8_t> file;
    put_id(file, "FORM");
    put_u32(file, chunks.size());
    file.insert(file.end(), chunks.begin(), chunks.end());
    return file;
}

} // namespace ilbm
