// IFF ILBM pictures, as Amiga paint programs write them: the banner's format. Only
// what the window shows is read; every other format, PBM (ILBM's chunky cousin)
// included, is refused.
#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
#include <cstdint>

namespace platform {

// The picture's size as its header (BMHD) says; empty when `data` is not an IFF
// picture, or its header is missing, damaged or of a picture too large to show.
QSize ilbm_size(const std::uint8_t *data, std::size_t size);

// The whole picture, premultiplied ARGB, clear where its mask or its transparent
// colour says so; null unless every pixel is inside the data. Nothing is allocated
// for the pixels before the data is known to hold them all.
QImage decode_ilbm(const std::uint8_t *data, std::size_t size);

} // namespace platform
