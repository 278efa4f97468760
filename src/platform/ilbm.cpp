#include "platform/ilbm.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace platform {

namespace {

// The window's pictures are small: larger ones are refused before anything is
// allocated for them.
constexpr std::uint32_t MAX_SIDE = 16384;
constexpr std::uint64_t MAX_PIXELS = std::uint64_t{1} << 24;
// The Amiga display modes (CAMG) that change what the pixels mean.
constexpr std::uint32_t CAMG_EXTRA_HALFBRITE = 0x80, CAMG_HOLD_AND_MODIFY = 0x800;
constexpr unsigned MASK_PLANE = 1, MASK_TRANSPARENT_COLOUR = 2;

std::uint32_t be32(const std::uint8_t *p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

unsigned be16(const std::uint8_t *p)
{
    return unsigned{p[0]} << 8 | p[1];
}

bool is_id(const std::uint8_t *p, const char (&id)[5])
{
    return std::memcmp(p, id, 4) == 0;
}

struct Form {
    unsigned width = 0, height = 0, planes = 0, masking = 0, compression = 0, transparent = 0;
    std::uint32_t camg = 0;
    const std::uint8_t *cmap = nullptr;
    std::size_t colours = 0;
    const std::uint8_t *body = nullptr;
    std::size_t body_size = 0;

    bool hold_and_modify() const
    {
        return (camg & CAMG_HOLD_AND_MODIFY) && (planes == 6 || planes == 8);
    }
    // Bytes of one row of one plane: the pixels rounded up to whole 16-bit words.
    std::size_t plane_row() const { return (std::size_t{width} + 15) / 16 * 2; }
    unsigned planes_stored() const { return planes + (masking == MASK_PLANE ? 1 : 0); }
};

// The chunks up to BODY: every chunk inside the FORM, the header (BMHD) before the
// pixels, and a picture of 1 to 8 planes of colour indices.
bool read_form(const std::uint8_t *p, std::size_t size, Form &form)
{
    if (size < 12 || !is_id(p, "FORM") || !is_id(p + 8, "ILBM"))
        return false;
    const std::uint64_t end = std::uint64_t{be32(p + 4)} + 8;
    const std::uint8_t *bmhd = nullptr;
    if (end > size)
        return false;
    for (std::uint64_t at = 12; !form.body;) {
        if (at + 8 > end)
            return false;
        const std::uint64_t length = be32(p + at + 4), data = at + 8;
        if (data + length > end)
            return false;
        const std::uint8_t *chunk = p + data;
        if (is_id(p + at, "BMHD")) {
            bmhd = length >= 20 ? chunk : nullptr;
        } else if (is_id(p + at, "CMAP")) {
            form.cmap = chunk;
            form.colours = std::min<std::size_t>(length / 3, 256);
        } else if (is_id(p + at, "CAMG") && length >= 4) {
            form.camg = be32(chunk);
        } else if (is_id(p + at, "BODY") && bmhd) {
            form.body = chunk;
            form.body_size = length;
        } else if (is_id(p + at, "BODY")) {
            return false;
        }
        at = data + length + (length & 1);
    }
    form.width = be16(bmhd);
    form.height = be16(bmhd + 2);
    form.planes = bmhd[8];
    form.masking = bmhd[9];
    form.compression = bmhd[10];
    form.transparent = be16(bmhd + 12);
    return form.width > 0 && form.height > 0 && form.width <= MAX_SIDE && form.height <= MAX_SIDE &&
           std::uint64_t{form.width} * form.height <= MAX_PIXELS && form.planes >= 1 &&
           form.planes <= 8 && form.masking <= 3 && form.compression <= 1;
}

// The body, one row of one plane at a time, as stored or unpacked from ByteRun1: n in
// 0..127 copies n + 1 bytes, n in -127..-1 repeats one byte 1 - n times. Whether -128
// is a no-op or a run depends on the writer, so it is refused, as is a run that
// reaches past its row or past the data.
class Rows {
  public:
    explicit Rows(const Form &form)
        : data_(form.body), size_(form.body_size), packed_(form.compression == 1)
    {
    }

    // The next `length` bytes into `out`, or only checked when `out` is null.
    bool next(std::uint8_t *out, std::size_t length)
    {
        if (!packed_) {
            if (size_ - at_ < length)
                return false;
            if (out)
                std::memcpy(out, data_ + at_, length);
            at_ += length;
            return true;
        }
        for (std::size_t done = 0; done < length;) {
            if (at_ >= size_)
                return false;
            const int control = data_[at_++];
            const int n = control < 128 ? control : control - 256;
            const auto count = static_cast<std::size_t>(n >= 0 ? n + 1 : 1 - n);
            const std::size_t stored = n >= 0 ? count : 1;
            if (n == -128 || count > length - done || stored > size_ - at_)
                return false;
            if (out && n >= 0)
                std::memcpy(out + done, data_ + at_, count);
            else if (out)
                std::memset(out + done, data_[at_], count);
            at_ += stored;
            done += count;
        }
        return true;
    }

  private:
    const std::uint8_t *data_;
    std::size_t size_, at_ = 0;
    bool packed_;
};

bool body_holds_every_row(const Form &form)
{
    Rows rows(form);
    for (std::uint64_t part = 0; part < std::uint64_t{form.height} * form.planes_stored(); ++part)
        if (!rows.next(nullptr, form.plane_row()))
            return false;
    return true;
}

// The colours of the indices: the CMAP's (black past its end), a grey ramp without
// one; extra half-brite adds the first 32 at half brightness.
std::array<QRgb, 256> palette_of(const Form &form)
{
    std::array<QRgb, 256> palette{};
    const unsigned last = (1u << form.planes) - 1;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int grey =
            static_cast<int>(std::min<std::size_t>(i, last) * 255 / std::max(last, 1u));
        if (i < form.colours)
            palette[i] = qRgb(form.cmap[i * 3], form.cmap[i * 3 + 1], form.cmap[i * 3 + 2]);
        else
            palette[i] = form.cmap ? qRgb(0, 0, 0) : qRgb(grey, grey, grey);
    }
    if ((form.camg & CAMG_EXTRA_HALFBRITE) && form.planes == 6)
        for (std::size_t i = 0; i < 32; ++i)
            palette[i + 32] =
                qRgb(qRed(palette[i]) / 2, qGreen(palette[i]) / 2, qBlue(palette[i]) / 2);
    return palette;
}

// Hold and modify: the top two bits say whether the rest is a colour index, or the new
// blue, red or green of the pixel to the left.
QRgb hold_and_modify(QRgb left, std::uint32_t value, unsigned planes,
                     const std::array<QRgb, 256> &palette)
{
    const unsigned bits = planes - 2;
    const std::uint32_t data = value & ((1u << bits) - 1);
    const int level = static_cast<int>(bits == 4 ? data * 17 : (data << 2) | (data >> 4));
    switch (value >> bits) {
    case 0:
        return palette[data];
    case 1:
        return qRgb(qRed(left), qGreen(left), level);
    case 2:
        return qRgb(level, qGreen(left), qBlue(left));
    default:
        return qRgb(qRed(left), level, qBlue(left));
    }
}

// The eight bits of a plane's byte, spread one to a byte, the first pixel's lowest: a
// row's eight pixels take one look-up and shift per plane.
constexpr std::array<std::uint64_t, 256> SPREAD = [] {
    std::array<std::uint64_t, 256> spread{};
    for (unsigned b = 0; b < 256; ++b)
        for (unsigned bit = 0; bit < 8; ++bit)
            spread[b] |= std::uint64_t{(b >> (7 - bit)) & 1u} << (8 * bit);
    return spread;
}();

void decode_row(const Form &form, const std::vector<std::uint8_t> &planes,
                const std::array<QRgb, 256> &palette, QRgb *out)
{
    const std::size_t stride = form.plane_row();
    const bool ham = form.hold_and_modify();
    QRgb left = palette[0];
    for (unsigned x = 0; x < form.width; x += 8) {
        const std::size_t byte = x / 8;
        std::uint64_t indices = 0;
        for (unsigned p = 0; p < form.planes; ++p)
            indices |= SPREAD[planes[p * stride + byte]] << p;
        const std::uint64_t shown = form.masking == MASK_PLANE
                                        ? SPREAD[planes[form.planes * stride + byte]]
                                        : 0x0101010101010101u;
        for (unsigned i = 0; i < 8 && x + i < form.width; ++i) {
            const auto value = static_cast<std::uint32_t>(indices >> (8 * i) & 0xFF);
            left = ham ? hold_and_modify(left, value, form.planes, palette) : palette[value];
            const bool clear =
                !(shown >> (8 * i) & 1u) ||
                (form.masking == MASK_TRANSPARENT_COLOUR && !ham && value == form.transparent);
            out[x + i] = clear ? 0 : left;
        }
    }
}

} // namespace

QSize ilbm_size(const std::uint8_t *data, std::size_t size)
{
    Form form;
    if (!read_form(data, size, form))
        return {};
    return {static_cast<int>(form.width), static_cast<int>(form.height)};
}

QImage decode_ilbm(const std::uint8_t *data, std::size_t size)
{
    Form form;
    if (!read_form(data, size, form) || !body_holds_every_row(form))
        return {};
    QImage image(static_cast<int>(form.width), static_cast<int>(form.height),
                 QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    const std::array<QRgb, 256> palette = palette_of(form);
    std::vector<std::uint8_t> planes(form.plane_row() * form.planes_stored());
    Rows rows(form);
    for (int y = 0; y < image.height(); ++y) {
        for (unsigned p = 0; p < form.planes_stored(); ++p)
            rows.next(planes.data() + p * form.plane_row(), form.plane_row());
        decode_row(form, planes, palette, reinterpret_cast<QRgb *>(image.scanLine(y)));
    }
    return image;
}

} // namespace platform
