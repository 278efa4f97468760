// Pictures from files: ILBM made here, and broken files.
#include "ilbm.h"
#include "platform/picture_process.h"
#include "test_support.h"

#include <QImage>

namespace {

using namespace std::string_literals;
// The picture in `path` as its decoder process makes it; null when it makes none.
QImage decoded(const std::string &path)
{
    platform::PictureProcess decoder(platform::PictureJob::decode_file, {path},
                                     platform::picture_file_size(path));
    decoder.wait(10000);
    return decoder.image();
}

// 37 pixels a row (padded to three words), every colour in use, a run on the first row.
std::pair<ilbm::IndexedImage, QImage> pattern(int planes, int transparent = -1)
{
    const auto u8 = [](int v) { return static_cast<std::uint8_t>(v); };
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

const auto bytes = [](const ilbm::IndexedImage &image, ilbm::Compression compression = {}) {
    const std::vector<std::uint8_t> file = ilbm::encode(image, compression);
    return std::string(file.begin(), file.end());
};

class PictureTest : public ::testing::Test {
  protected:
    QImage load_bytes(const std::string &file, const std::string &name = "p.iff")
    {
        write_file(dir / name, file);
        return decoded((dir / name).string());
    }

    TempDir dir;
};

TEST_F(PictureTest, IlbmOfSeveralDepthsShowsItsPixels)
{
    for (const auto compression : {ilbm::Compression::None, ilbm::Compression::ByteRun1})
        for (int planes : {1, 3, 5, 8}) {
            const auto [image, expected] = pattern(planes, planes - 2); // a clear colour but at 1
            EXPECT_EQ(load_bytes(bytes(image, compression)), expected) << planes << " planes";
        }
}

// SDL2's sound libraries can never be unloaded: they stay in the decoding process.
TEST_F(PictureTest, NoneOfTheDecodersLibrariesIsLoadedHere)
{
    ASSERT_FALSE(load_bytes(bytes(pattern(3).first)).isNull());
    const std::string maps = read_file("/proc/self/maps");
    for (const char *library : {"libSDL2_image", "libSDL2-2.0", "libpulse"})
        EXPECT_EQ(maps.find(library), std::string::npos) << library;
}

TEST_F(PictureTest, TruncatedCorruptOrMissingFilesGiveNull)
{
    const std::string packed = bytes(pattern(4).first, ilbm::Compression::ByteRun1);
    const std::string plain = bytes(pattern(4).first);
    ASSERT_FALSE(load_bytes(packed).isNull());
    ASSERT_FALSE(load_bytes(plain).isNull());
    // FORM size at 4, type at 8; BMHD at 12: width 20, height 22 (18: body 9 rows short), planes
    // 28, masking 29, compression 30; CMAP at 40; BODY at 96, its size at 100 (one less: the
    // pad byte would be taken for a pixel), rows from 104.
    const std::pair<std::size_t, std::string> changes[] = {
        {8, "ILBX"},     {12, "BMHX"}, {96, "BODX"},       {20, "\0\0"s},       {22, "\0\0"s},
        {22, "\0\x12"s}, {28, "\0"s},  {20, "\xFF\xFF"},   {22, "\xFF\xFF"},    {28, "\x09"},
        {29, "\x04"},    {30, "\x02"}, {4, "\x10\0\0\0"s}, {100, "\0\x10\0\0"s}};
    std::vector<std::string> bad = {std::string(packed).replace(104, 1, "\x81"), // run > row
                                    std::string(plain).replace(103, 1, 1, char(plain[103] - 1))};
    for (const std::string &file : {packed, plain}) {
        for (const auto &[at, with] : changes)
            bad.push_back(std::string(file).replace(at, with.size(), with));
        for (std::size_t cut = 0; cut < file.size(); ++cut) bad.push_back(file.substr(0, cut));
    }
    for (std::size_t i = 0; i < bad.size(); ++i) EXPECT_TRUE(load_bytes(bad[i]).isNull()) << i;
    EXPECT_TRUE(load_bytes("KTLaunch is no picture\n", "text.png").isNull());
    for (const std::string &path : {""s, (dir / "absent.iff").string(), dir.path().string()})
        EXPECT_TRUE(decoded(path).isNull()) << path;
}

} // namespace
