// Pictures from files (the banner, ILBM pictures of every depth, broken files, PNG)
// and from the icon theme, on Qt's offscreen display.
#include "banner.h"
#include "ilbm.h"
#include "platform/display.h"
#include "platform/picture.h"
#include "platform/qt_private.h"
#include "test_support.h"

#include <QIcon>
#include <QImage>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <unistd.h>

namespace {

using PicturePtr = std::unique_ptr<platform::Picture, decltype(&platform::free_picture)>;

PicturePtr own(platform::Picture *picture)
{
    return {picture, &platform::free_picture};
}

const fs::path BANNER = fs::path(KTLAUNCH_SOURCE_DIR) / "examples" / "kt.iff";

QImage image_of(const platform::Picture &picture)
{
    return picture.pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

QRgb opaque(ilbm::Rgb c)
{
    return qRgb(c.r, c.g, c.b);
}

std::string bytes_of(const std::vector<std::uint8_t> &data)
{
    return {data.begin(), data.end()};
}

// A picture of `width` x `height` with a palette of 2^planes distinct colours and
// pixels drawn at random (the same every run) from all of them.
ilbm::IndexedImage random_picture(int width, int height, int planes, unsigned seed)
{
    ilbm::IndexedImage image;
    image.width = width;
    image.height = height;
    const int colours = 1 << planes;
    for (int i = 0; i < colours; ++i)
        image.palette.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                 static_cast<std::uint8_t>(i * 37 % 256)});
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(0, colours - 1);
    for (int i = 0; i < width * height; ++i)
        image.pixels.push_back(static_cast<std::uint8_t>(pick(rng)));
    return image;
}

// Fails the test where the picture shows anything but the image's palette colours.
void expect_shows(const platform::Picture &picture, const ilbm::IndexedImage &image)
{
    const QImage shown = image_of(picture);
    ASSERT_EQ(shown.width(), image.width);
    ASSERT_EQ(shown.height(), image.height);
    int wrong = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t index = image.pixels[static_cast<std::size_t>(y * image.width + x)];
            const QRgb want = index == image.transparent ? 0u : opaque(image.palette[index]);
            const QRgb got = shown.pixel(x, y);
            const bool same = qAlpha(want) == 0 ? qAlpha(got) == 0 : got == want;
            if (!same && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got
                              << " instead of " << want;
        }
    EXPECT_EQ(wrong, 0);
}

// The chunks of an IFF FORM, for taking a file apart and putting it together again
// with changes.
struct Chunk {
    std::string id, data;
};

std::vector<Chunk> chunks_of(const std::string &file)
{
    std::vector<Chunk> chunks;
    for (std::size_t at = 12; at + 8 <= file.size();) {
        const auto *p = reinterpret_cast<const unsigned char *>(file.data() + at + 4);
        const std::size_t size =
            std::size_t{p[0]} << 24 | std::size_t{p[1]} << 16 | std::size_t{p[2]} << 8 | p[3];
        chunks.push_back({file.substr(at, 4), file.substr(at + 8, size)});
        at += 8 + size + (size & 1);
    }
    return chunks;
}

std::string be32(std::size_t value)
{
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i) & 0xFF);
    return out;
}

std::string form_of(const std::string &type, const std::vector<Chunk> &chunks)
{
    std::string body = type;
    for (const Chunk &c : chunks) {
        body += c.id + be32(c.data.size()) + c.data;
        if (c.data.size() % 2)
            body += '\0';
    }
    return "FORM" + be32(body.size()) + body;
}

Chunk &chunk(std::vector<Chunk> &chunks, const std::string &id)
{
    for (Chunk &c : chunks)
        if (c.id == id)
            return c;
    throw std::runtime_error("no chunk " + id);
}

class PictureTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ASSERT_TRUE(platform::display_connect());
    }
    void TearDown() override { platform::display_disconnect(); }

    // Writes `bytes` to a file of its own and loads the picture from there.
    PicturePtr load_bytes(const std::string &bytes, const std::string &name = "picture.iff")
    {
        write_file(dir_ / name, bytes);
        return own(platform::load_picture((dir_ / name).string()));
    }

    TempDir dir_;
};

// --- The banner in examples/ -------------------------------------------------------

class BannerTest : public PictureTest {
  protected:
    void SetUp() override
    {
        PictureTest::SetUp();
        const PicturePtr picture = own(platform::load_picture(BANNER.string()));
        ASSERT_NE(picture, nullptr) << BANNER;
        image_ = image_of(*picture);
    }
    QImage image_;
};

TEST_F(BannerTest, IsAnOpaquePictureOfTheDesignedSize)
{
    ASSERT_EQ(image_.width(), banner::WIDTH);
    ASSERT_EQ(image_.height(), banner::HEIGHT);
    for (int y = 0; y < image_.height(); ++y)
        for (int x = 0; x < image_.width(); ++x)
            ASSERT_EQ(qAlpha(image_.pixel(x, y)), 255) << x << "," << y;
}

TEST_F(BannerTest, FrameRowsRunTheWholeWidthInTheirColours)
{
    ASSERT_EQ(image_.width(), banner::WIDTH);
    const struct {
        int row;
        ilbm::Rgb colour;
    } frame[] = {{banner::HIGHLIGHT_ROW, banner::HIGHLIGHT},
                 {banner::RULE_ROW, banner::RULE},
                 {banner::SHADE_ROW, banner::SHADE}};
    for (const auto &line : frame)
        for (int x = 0; x < banner::WIDTH; ++x)
            ASSERT_EQ(image_.pixel(x, line.row), opaque(line.colour)) << x << "," << line.row;
}

TEST_F(BannerTest, MarginsShowTheBackgroundOfEachRow)
{
    ASSERT_EQ(image_.width(), banner::WIDTH);
    for (int y = banner::HIGHLIGHT_ROW + 1; y < banner::RULE_ROW; ++y) {
        const QRgb want = opaque(banner::background(y));
        for (int i = 0; i < banner::MARGIN; ++i) {
            ASSERT_EQ(image_.pixel(i, y), want) << i << "," << y;
            ASSERT_EQ(image_.pixel(banner::WIDTH - 1 - i, y), want)
                << banner::WIDTH - 1 - i << "," << y;
        }
    }
    // The gradient is lighter behind the title than at the edges.
    EXPECT_GT(qGray(opaque(banner::background(banner::TITLE_MIDDLE))),
              qGray(opaque(banner::background(banner::HIGHLIGHT_ROW + 1))));
}

TEST_F(BannerTest, TitleLettersCrossTheMiddleRowAndStayWithinTheirHeight)
{
    ASSERT_EQ(image_.height(), banner::HEIGHT);
    const QRgb letters = opaque(banner::LETTERS);
    // Every letter of the title has some part on its middle row, one stretch at least.
    int runs = 0;
    bool inside = false;
    for (int x = banner::MARGIN; x < banner::WIDTH - banner::MARGIN; ++x) {
        const bool on = image_.pixel(x, banner::TITLE_MIDDLE) == letters;
        if (on && !inside)
            ++runs;
        inside = on;
    }
    EXPECT_GE(runs, static_cast<int>(std::strlen(banner::TITLE)));
    // Nothing in the letters' colour well above or below the capitals.
    const int clear = banner::CAP_HEIGHT / 2 + 3;
    for (int y : {banner::TITLE_MIDDLE - clear, banner::TITLE_MIDDLE + clear})
        for (int x = 0; x < banner::WIDTH; ++x)
            ASSERT_NE(image_.pixel(x, y), letters) << x << "," << y;
}

TEST(BannerFile, IsAnIlbmOfAtMost256ColoursPackedWithByteRun1)
{
    const std::string file = read_file(BANNER);
    ASSERT_GE(file.size(), 12u);
    EXPECT_EQ(file.substr(0, 4), "FORM");
    EXPECT_EQ(file.substr(8, 4), "ILBM");
    std::vector<Chunk> chunks = chunks_of(file);
    const std::string &bmhd = chunk(chunks, "BMHD").data;
    ASSERT_GE(bmhd.size(), 20u);
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bmhd[i]); };
    EXPECT_EQ(byte(0) << 8 | byte(1), banner::WIDTH);
    EXPECT_EQ(byte(2) << 8 | byte(3), banner::HEIGHT);
    EXPECT_LE(byte(8), 8) << "bitplanes";
    EXPECT_EQ(byte(10), 1) << "compression";
    const std::string &cmap = chunk(chunks, "CMAP").data;
    EXPECT_EQ(cmap.size() % 3, 0u);
    EXPECT_LE(cmap.size() / 3, std::size_t{1} << byte(8));
    EXPECT_FALSE(chunk(chunks, "BODY").data.empty());
}

// --- ILBM pictures made here -------------------------------------------------------

// ByteRun1 as the readers take it, to check the writer against.
std::vector<std::uint8_t> unpack_byterun1(const std::vector<std::uint8_t> &packed)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < packed.size();) {
        const auto n = static_cast<std::int8_t>(packed[i++]);
        if (n >= 0) {
            for (int k = 0; k <= n && i < packed.size(); ++k) out.push_back(packed[i++]);
        } else if (n != -128 && i < packed.size()) {
            out.insert(out.end(), static_cast<std::size_t>(1 - n), packed[i++]);
        }
    }
    return out;
}

TEST(ByteRun1, PackedRowsUnpackToTheSameBytesWithoutTheAmbiguousCode)
{
    std::mt19937 rng(7);
    std::vector<std::vector<std::uint8_t>> rows = {
        {},
        {9},
        {9, 9},
        {1, 2},
        std::vector<std::uint8_t>(128, 5),
        std::vector<std::uint8_t>(129, 5),
        std::vector<std::uint8_t>(300, 0),
    };
    std::vector<std::uint8_t> distinct, mixed;
    for (int i = 0; i < 300; ++i) distinct.push_back(static_cast<std::uint8_t>(i));
    for (int i = 0; i < 500; ++i)
        mixed.push_back(static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() : 0xAA));
    rows.push_back(distinct);
    rows.push_back(mixed);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.size());
        const std::vector<std::uint8_t> packed = ilbm::pack_byterun1(row.data(), row.size());
        EXPECT_EQ(unpack_byterun1(packed), row);
        // Walk the control bytes: none may be -128, which readers disagree on.
        for (std::size_t i = 0; i < packed.size();) {
            const auto n = static_cast<std::int8_t>(packed[i]);
            ASSERT_NE(n, -128) << "at " << i;
            i += n >= 0 ? 2 + static_cast<std::size_t>(n) : 2;
        }
    }
    // Long runs cost two bytes for each 128 bytes.
    const std::vector<std::uint8_t> zeros(300, 0);
    EXPECT_EQ(ilbm::pack_byterun1(zeros.data(), zeros.size()).size(), 6u);
}

TEST(IlbmWriter, RefusesPicturesTheFormatCannotHold)
{
    ilbm::IndexedImage image = random_picture(4, 4, 2, 1);
    EXPECT_NO_THROW(ilbm::encode(image));
    ilbm::IndexedImage outside = image;
    outside.pixels[5] = 4;
    EXPECT_THROW(ilbm::encode(outside), std::invalid_argument);
    ilbm::IndexedImage short_pixels = image;
    short_pixels.pixels.pop_back();
    EXPECT_THROW(ilbm::encode(short_pixels), std::invalid_argument);
    ilbm::IndexedImage empty = image;
    empty.width = 0;
    empty.pixels.clear();
    EXPECT_THROW(ilbm::encode(empty), std::invalid_argument);
    ilbm::IndexedImage big_palette = image;
    big_palette.palette.resize(257);
    EXPECT_THROW(ilbm::encode(big_palette), std::invalid_argument);
}

TEST_F(PictureTest, IlbmOfEveryDepthShowsItsPalette)
{
    for (const auto compression : {ilbm::Compression::None, ilbm::Compression::ByteRun1})
        for (int planes = 1; planes <= 8; ++planes) {
            SCOPED_TRACE(testing::Message()
                         << planes << " planes, compression " << static_cast<int>(compression));
            // 37 pixels a row: the planes are padded to three 16-bit words.
            const ilbm::IndexedImage image =
                random_picture(37, 9, planes, static_cast<unsigned>(planes));
            const PicturePtr picture = load_bytes(bytes_of(ilbm::encode(image, compression)));
            ASSERT_NE(picture, nullptr);
            expect_shows(*picture, image);
        }
}

TEST_F(PictureTest, IlbmWithLongRunsAndOddPaletteShowsItsPixels)
{
    ilbm::IndexedImage image;
    image.width = 333;
    image.height = 4;
    image.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.pixels.push_back(static_cast<std::uint8_t>(y == 0   ? 4
                                                             : y == 1 ? x % 5
                                                             : y == 2 ? (x / 150) % 5
                                                                      : (x * x) % 5));
    const PicturePtr picture = load_bytes(bytes_of(ilbm::encode(image)));
    ASSERT_NE(picture, nullptr);
    expect_shows(*picture, image);
}

TEST_F(PictureTest, IlbmTransparentColourBecomesClear)
{
    ilbm::IndexedImage image = random_picture(20, 6, 2, 3);
    image.transparent = 2;
    const PicturePtr picture = load_bytes(bytes_of(ilbm::encode(image)));
    ASSERT_NE(picture, nullptr);
    expect_shows(*picture, image);
    EXPECT_TRUE(picture->pixmap.hasAlphaChannel());
}

TEST_F(PictureTest, TruncatedIlbmGivesNull)
{
    const std::string whole = bytes_of(ilbm::encode(random_picture(40, 12, 4, 11)));
    ASSERT_NE(load_bytes(whole), nullptr);
    // Cut anywhere: inside the FORM header, a chunk header, BMHD, CMAP or BODY.
    for (std::size_t length = 0; length < whole.size(); ++length)
        EXPECT_EQ(load_bytes(whole.substr(0, length)), nullptr) << "cut at " << length;
}

TEST_F(PictureTest, IlbmWithShortenedPixelsGivesNull)
{
    // The sizes agree with each other, but the pixels stop early.
    for (const auto compression : {ilbm::Compression::None, ilbm::Compression::ByteRun1}) {
        std::vector<Chunk> chunks =
            chunks_of(bytes_of(ilbm::encode(random_picture(40, 12, 4, 5), compression)));
        std::string &body = chunk(chunks, "BODY").data;
        const std::size_t full = body.size();
        for (std::size_t keep : {std::size_t{0}, std::size_t{1}, full / 2, full - 1}) {
            SCOPED_TRACE(testing::Message() << "compression " << static_cast<int>(compression)
                                            << ", " << keep << " of " << full << " bytes");
            std::vector<Chunk> shortened = chunks;
            chunk(shortened, "BODY").data.resize(keep);
            EXPECT_EQ(load_bytes(form_of("ILBM", shortened)), nullptr);
        }
    }
}

TEST_F(PictureTest, CorruptIlbmGivesNull)
{
    const std::vector<Chunk> good = chunks_of(bytes_of(ilbm::encode(random_picture(16, 4, 3, 9))));
    ASSERT_NE(load_bytes(form_of("ILBM", good)), nullptr);

    const auto set_bmhd = [](std::size_t at, std::vector<unsigned char> bytes) {
        return [at, bytes = std::move(bytes)](std::vector<Chunk> &c) {
            std::size_t i = at;
            for (unsigned char b : bytes) chunk(c, "BMHD").data[i++] = static_cast<char>(b);
        };
    };
    const auto remove = [](const std::string &id) {
        return [id](std::vector<Chunk> &c) {
            std::erase_if(c, [&](const Chunk &x) { return x.id == id; });
        };
    };
    const struct {
        const char *what;
        std::string type;
        std::function<void(std::vector<Chunk> &)> change;
    } cases[] = {
        {"unknown FORM type", "ILBX", [](std::vector<Chunk> &) {}},
        {"zero width", "ILBM", set_bmhd(0, {0, 0})},
        {"zero height", "ILBM", set_bmhd(2, {0, 0})},
        {"no bitplanes", "ILBM", set_bmhd(8, {0})},
        {"nine bitplanes", "ILBM", set_bmhd(8, {9})},
        {"unknown masking", "ILBM", set_bmhd(9, {4})},
        {"unknown compression", "ILBM", set_bmhd(10, {2})},
        {"oversized picture", "ILBM", set_bmhd(0, {0xFF, 0xFF, 0xFF, 0xFF})},
        {"large picture on a small body", "ILBM", set_bmhd(0, {0x0F, 0xA0, 0x0F, 0xA0})},
        {"BMHD too short", "ILBM", [](std::vector<Chunk> &c) { chunk(c, "BMHD").data.resize(12); }},
        {"no BMHD", "ILBM", remove("BMHD")},
        {"no BODY", "ILBM", remove("BODY")},
        {"BODY before BMHD", "ILBM", [](std::vector<Chunk> &c) { std::swap(c.front(), c.back()); }},
        {"CMAP of 257 colours", "ILBM",
         [](std::vector<Chunk> &c) { chunk(c, "CMAP").data.resize(3 * 257, '\x10'); }},
        {"a run longer than the row", "ILBM",
         [](std::vector<Chunk> &c) {
             // 16 pixels: two bytes a plane row; the first row claims 128.
             std::string &body = chunk(c, "BODY").data;
             body[0] = static_cast<char>(0x81);
         }},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.what);
        std::vector<Chunk> chunks = good;
        test.change(chunks);
        EXPECT_EQ(load_bytes(form_of(test.type, chunks)), nullptr);
    }

    // Sizes in the file that point past its end.
    const std::string whole = form_of("ILBM", good);
    std::string long_form = whole;
    long_form.replace(4, 4, be32(whole.size()));
    EXPECT_EQ(load_bytes(long_form), nullptr) << "FORM longer than the file";
    const std::size_t body_at = whole.rfind("BODY");
    ASSERT_NE(body_at, std::string::npos);
    std::string long_body = whole;
    long_body.replace(body_at + 4, 4, be32(whole.size()));
    EXPECT_EQ(load_bytes(long_body), nullptr) << "BODY longer than the FORM";
}

TEST_F(PictureTest, MissingEmptyOrUnreadableFilesGiveNull)
{
    EXPECT_EQ(own(platform::load_picture((dir_ / "absent.iff").string())), nullptr);
    EXPECT_EQ(own(platform::load_picture("")), nullptr);
    EXPECT_EQ(own(platform::load_picture(dir_.path().string())), nullptr) << "a directory";
    EXPECT_EQ(load_bytes(""), nullptr) << "an empty file";
    EXPECT_EQ(load_bytes("KTLaunch is no picture\n", "text.png"), nullptr);
    const fs::path locked = dir_ / "locked.iff";
    write_file(locked, bytes_of(ilbm::encode(random_picture(8, 8, 1, 2))));
    fs::permissions(locked, fs::perms::none);
    if (getuid() != 0) { // root reads it anyway
        EXPECT_EQ(own(platform::load_picture(locked.string())), nullptr) << "no read permission";
    }
}

TEST_F(PictureTest, PngLoadsWithItsColoursAndAlpha)
{
    QImage source(7, 5, QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgba(x * 36, y * 60, 200 - x * 20, (x + y) % 4 == 0 ? 0 : 255));
    const fs::path file = dir_ / "picture.png";
    ASSERT_TRUE(source.save(QString::fromStdString(file.string()), "PNG"));
    const PicturePtr picture = own(platform::load_picture(file.string()));
    ASSERT_NE(picture, nullptr);
    const QImage shown = image_of(*picture);
    ASSERT_EQ(shown.size(), source.size());
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb want = source.pixel(x, y);
            if (qAlpha(want) == 0)
                EXPECT_EQ(qAlpha(shown.pixel(x, y)), 0) << x << "," << y;
            else
                EXPECT_EQ(shown.pixel(x, y), want) << x << "," << y;
        }
}

TEST(PictureWithoutDisplay, GivesNull)
{
    ASSERT_FALSE(platform::display_connected());
    EXPECT_EQ(own(platform::load_picture(BANNER.string())), nullptr);
    EXPECT_EQ(own(platform::theme_picture("video-display", 32)), nullptr);
    platform::free_picture(nullptr); // allowed, like every other free
}

// --- Icons from the theme ----------------------------------------------------------

// Puts Qt's icon-theme settings back after each test.
class ThemePictureTest : public PictureTest {
  protected:
    void SetUp() override
    {
        PictureTest::SetUp();
        paths_ = QIcon::themeSearchPaths();
        theme_ = QIcon::themeName();
        fallback_ = QIcon::fallbackThemeName();
    }
    void TearDown() override
    {
        QIcon::setThemeName(theme_);
        QIcon::setFallbackThemeName(fallback_);
        QIcon::setThemeSearchPaths(paths_);
        PictureTest::TearDown();
    }

    // A theme of our own under the test's directory, with `icons` (name and colour)
    // as 16 x 16 pictures; the search path is set to it and the system directories.
    void make_theme(const std::string &name, const std::vector<std::pair<std::string, QRgb>> &icons)
    {
        const fs::path theme = dir_ / "icons" / name;
        fs::create_directories(theme / "16x16" / "devices");
        write_file(theme / "index.theme", "[Icon Theme]\nName=" + name +
                                              "\nInherits=hicolor\nDirectories=16x16/devices\n\n"
                                              "[16x16/devices]\nSize=16\nType=Fixed\n");
        for (const auto &[icon, colour] : icons) {
            QImage image(16, 16, QImage::Format_ARGB32);
            image.fill(colour);
            const fs::path file = theme / "16x16" / "devices" / (icon + ".png");
            ASSERT_TRUE(image.save(QString::fromStdString(file.string()), "PNG"));
        }
        QIcon::setThemeSearchPaths(
            {QString::fromStdString((dir_ / "icons").string()), "/usr/share/icons"});
        QIcon::setThemeName(QString::fromStdString(name));
    }

    static QSizeF logical_size(const platform::Picture &picture)
    {
        return picture.pixmap.deviceIndependentSize();
    }

    static QRgb centre_of(const platform::Picture &picture)
    {
        const QImage image = image_of(picture);
        return image.pixel(image.width() / 2, image.height() / 2);
    }

    QStringList paths_;
    QString theme_, fallback_;
};

TEST_F(ThemePictureTest, VideoDisplayIsAtLeastTheAskedSizeAndNotBlank)
{
    for (int size : {16, 32, 48, 100}) {
        SCOPED_TRACE(size);
        const PicturePtr picture = own(platform::theme_picture("video-display", size));
        ASSERT_NE(picture, nullptr);
        EXPECT_GE(logical_size(*picture).width(), size);
        EXPECT_GE(logical_size(*picture).height(), size);
        const QImage image = image_of(*picture);
        int visible = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) visible += qAlpha(image.pixel(x, y)) > 128;
        EXPECT_GT(visible, image.width() * image.height() / 4);
    }
}

TEST_F(ThemePictureTest, UnknownIconsAndBadArgumentsGiveNull)
{
    EXPECT_EQ(own(platform::theme_picture("ktlaunchnosuchicon", 32)), nullptr);
    EXPECT_EQ(own(platform::theme_picture("", 32)), nullptr);
    EXPECT_EQ(own(platform::theme_picture(nullptr, 32)), nullptr);
    EXPECT_EQ(own(platform::theme_picture("video-display", 0)), nullptr);
    EXPECT_EQ(own(platform::theme_picture("video-display", -5)), nullptr);
}

TEST_F(ThemePictureTest, TheCurrentThemeComesFirstAndSmallIconsAreScaledUp)
{
    make_theme("ktlaunch-test-green", {{"video-display", qRgb(0, 200, 0)}});
    const PicturePtr picture = own(platform::theme_picture("video-display", 48));
    ASSERT_NE(picture, nullptr);
    EXPECT_GE(logical_size(*picture).width(), 48);
    EXPECT_GE(logical_size(*picture).height(), 48);
    EXPECT_EQ(centre_of(*picture), qRgb(0, 200, 0));
}

TEST_F(ThemePictureTest, ThemeWithoutTheIconFallsBackToAdwaita)
{
    make_theme("ktlaunch-test-empty", {});
    QIcon::setFallbackThemeName(QString()); // as a display plug-in that names none
    const PicturePtr picture = own(platform::theme_picture("video-display", 32));
    ASSERT_NE(picture, nullptr);
    EXPECT_GE(logical_size(*picture).width(), 32);
    EXPECT_EQ(QIcon::themeName(), "ktlaunch-test-empty");
    EXPECT_EQ(QIcon::fallbackThemeName(), "Adwaita");
}

TEST_F(ThemePictureTest, ThemeAndFallbackWithoutTheIconStillFindAdwaitaAndStayAsTheyWere)
{
    make_theme("ktlaunch-test-empty", {});
    QIcon::setFallbackThemeName("ktlaunch-test-empty"); // the desktop's own fallback
    const PicturePtr picture = own(platform::theme_picture("video-display", 32));
    ASSERT_NE(picture, nullptr);
    EXPECT_GE(logical_size(*picture).width(), 32);
    EXPECT_EQ(QIcon::themeName(), "ktlaunch-test-empty");
    EXPECT_EQ(QIcon::fallbackThemeName(), "ktlaunch-test-empty");
    // The restored theme answers again for its own icons.
    EXPECT_TRUE(QIcon::fromTheme("video-display").isNull());
}

TEST_F(ThemePictureTest, HighDensityScreenGetsMoreDevicePixels)
{
    platform::display_disconnect();
    setenv("QT_SCALE_FACTOR", "2", 1);
    const bool connected = platform::display_connect();
    unsetenv("QT_SCALE_FACTOR");
    ASSERT_TRUE(connected);
    const PicturePtr picture = own(platform::theme_picture("video-display", 32));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixmap.devicePixelRatio(), 2.0);
    EXPECT_GE(picture->pixmap.width(), 64);
    EXPECT_GE(logical_size(*picture).width(), 32);
}

} // namespace
