// ILBM pictures made here, in the Amiga's display modes, and broken ones.
#include "ilbm.h"
#include "platform/ilbm.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using u8 = std::uint8_t;

QImage decoded(const std::string &file)
{
    return platform::decode_ilbm(reinterpret_cast<const std::uint8_t *>(file.data()), file.size());
}

std::string bytes(const ilbm::IndexedImage &image, ilbm::Compression compression = {})
{
    const std::vector<std::uint8_t> file = ilbm::encode(image, compression);
    return std::string(file.begin(), file.end());
}

// 37 pixels a row (padded to three words), every colour in use, a run on the first row.
std::pair<ilbm::IndexedImage, QImage> pattern(int planes, int transparent = -1)
{
    ilbm::IndexedImage image{37, 9, {}, {}, transparent};
    QImage shows(37, 9, QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < 1 << planes; ++i) image.palette.push_back({u8(i), u8(~i), u8(i * 37)});
    for (int i = 0; i < 37 * 9; ++i) {
        const int index = (i < 37 ? 3 : i * 7 + i % 37 * (i / 37)) % (1 << planes);
        image.pixels.push_back(u8(index));
        shows.setPixel(i % 37, i / 37, index == transparent ? 0 : qRgb(index, ~index, index * 37));
    }
    return {image, shows};
}

TEST(PictureTest, IlbmOfSeveralDepthsShowsItsPixels)
{
    for (const auto compression : {ilbm::Compression::None, ilbm::Compression::ByteRun1})
        for (int planes : {1, 3, 5, 8}) {
            const auto [image, expected] = pattern(planes, planes - 2); // a clear colour but at 1
            EXPECT_EQ(decoded(bytes(image, compression)), expected) << planes << " planes";
        }
}

// Four pixels of six planes, indices 0x05, 0x1F, 0x2A, 0x3F, over colours i: (16i, 8i, 4i).
// HAM sets blue, red, green of the left pixel by the top two bits; EHB shows 32-63 as
// 0-31 at half brightness; a mask plane (the sixth) clears pixels whose bit is 0.
TEST(PictureTest, AmigaModesAndTheMaskPlaneShowTheirColours)
{
    ilbm::IndexedImage image{4, 1, {}, {0x05, 0x1F, 0x2A, 0x3F}};
    for (unsigned i = 0; i < 64; ++i) image.palette.push_back({u8(16 * i), u8(8 * i), u8(4 * i)});
    const auto colour = [](unsigned i, unsigned div = 1) {
        return qRgb(int(u8(16 * i)) / int(div), int(u8(8 * i)) / int(div),
                    int(u8(4 * i)) / int(div));
    };
    const std::tuple<std::uint32_t, unsigned, std::vector<QRgb>> cases[] = {
        {0x800, 0, {qRgb(80, 40, 20), qRgb(80, 40, 255), qRgb(170, 40, 255), qRgb(170, 255, 255)}},
        {0x80, 0, {colour(5), colour(0x1F), colour(0x0A, 2), colour(0x1F, 2)}},
        {0, 1, {0, 0, colour(0x0A), colour(0x1F)}}};
    for (const auto &[camg, masking, pixels] : cases) {
        std::string file = bytes(image);
        file.insert(40, "CAMG\0\0\0\4\0\0"s + char(camg >> 8) + char(camg));
        const std::size_t form = file.size() - 8; // the FORM grows by the chunk
        file[6] = char(form >> 8), file[7] = char(form);
        if (masking) {
            file[28] = 5; // planes: five, then the mask
            file[29] = char(masking);
        }
        const QImage shown = decoded(file);
        ASSERT_EQ(shown.size(), QSize(4, 1)) << camg;
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(shown.pixel(x, 0), pixels[std::size_t(x)]) << camg << " at " << x;
    }
}

TEST(PictureTest, TruncatedCorruptOrOtherFilesGiveNull)
{
    const std::string packed = bytes(pattern(4).first, ilbm::Compression::ByteRun1);
    const std::string plain = bytes(pattern(4).first);
    ASSERT_FALSE(decoded(packed).isNull());
    ASSERT_FALSE(decoded(plain).isNull());
    // FORM size at 4, type at 8; BMHD at 12: width 20, height 22 (18: body 9 rows short), planes
    // 28, masking 29, compression 30; CMAP at 40; BODY at 96, its size at 100 (one less: the
    // pad byte would be taken for a pixel), rows from 104.
    const std::pair<std::size_t, std::string> changes[] = {
        {8, "ILBX"},     {12, "BMHX"}, {96, "BODX"},       {20, "\0\0"s},        {22, "\0\0"s},
        {22, "\0\x12"s}, {28, "\0"s},  {20, "\xFF\xFF"},   {22, "\xFF\xFF"},     {28, "\x09"},
        {29, "\x04"},    {30, "\x02"}, {4, "\x10\0\0\0"s}, {100, "\0\x10\0\0"s}, {8, "PBM "}};
    std::vector<std::string> bad = {std::string(packed).replace(104, 1, "\x81"), // run > row
                                    std::string(packed).replace(104, 1, "\x80"), // -128
                                    std::string(plain).replace(103, 1, 1, char(plain[103] - 1))};
    for (const std::string &file : {packed, plain}) {
        for (const auto &[at, with] : changes)
            bad.push_back(std::string(file).replace(at, with.size(), with));
        for (std::size_t cut = 0; cut < file.size(); ++cut) bad.push_back(file.substr(0, cut));
    }
    // A GIF whose one frame claims 60000 x 60000 pixels: not ILBM, so never decoded.
    bad.push_back("GIF89a\x10\0\x10\0\0\0\0,\0\0\0\0\x60\xEA\x60\xEA\0\2\2D\1\0;"s);
    for (std::size_t i = 0; i < bad.size(); ++i) EXPECT_TRUE(decoded(bad[i]).isNull()) << i;
}

} // namespace
