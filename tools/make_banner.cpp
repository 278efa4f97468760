// Draws the launcher's banner and writes it as an IFF ILBM picture of at most 256
// colours:
//
//     make_banner OUTPUT.iff [PREVIEW.png]
//
// The title is set in DejaVu Serif Bold, drawn in true colour with Qt, then reduced to
// a palette: the flat colours of the design keep exact entries, the rest (the edges of
// the letters and ornaments, the shadow) are found by median cut.
#include "banner.h"
#include "ilbm.h"
#include "platform/ilbm.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <set>
#include <vector>

namespace {

using ilbm::Rgb;

QColor qcolor(Rgb c, int alpha = 255)
{
    return QColor(c.r, c.g, c.b, alpha);
}

// A colour as a number, 0xRRGGBB.
std::uint32_t key(Rgb c)
{
    return std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b;
}

const char *const FONT_FILE = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf";

// The title font, sized so that its capitals are banner::CAP_HEIGHT pixels high.
bool title_font(QFont &font)
{
    const int id = QFontDatabase::addApplicationFont(FONT_FILE);
    if (id < 0) {
        std::fprintf(stderr, "make_banner: cannot load %s (package fonts-dejavu-core)\n",
                     FONT_FILE);
        return false;
    }
    font = QFont(QFontDatabase::applicationFontFamilies(id).value(0));
    font.setBold(true);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setPixelSize(100);
    QPainterPath probe;
    probe.addText(0, 0, font, "H");
    const double scale = banner::CAP_HEIGHT / probe.boundingRect().height();
    font.setPixelSize(static_cast<int>(std::lround(100 * scale)));
    font.setLetterSpacing(QFont::AbsoluteSpacing, banner::LETTER_SPACING);
    return true;
}

// `mask` blurred: shrunk to a third, averaging, and grown back, smoothly.
QImage soften(const QImage &mask)
{
    return mask.scaled(mask.size() / 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .scaled(mask.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// A small diamond centred on (x, y).
QPainterPath diamond(double x, double y, double r)
{
    QPainterPath path;
    path.moveTo(x - r, y);
    path.lineTo(x, y - r);
    path.lineTo(x + r, y);
    path.lineTo(x, y + r);
    path.closeSubpath();
    return path;
}

QImage draw(const QFont &font)
{
    using namespace banner;
    QImage image(WIDTH, HEIGHT, QImage::Format_ARGB32);
    for (int y = 0; y < HEIGHT; ++y) {
        const QRgb c = qcolor(background(y)).rgb();
        for (int x = 0; x < WIDTH; ++x) image.setPixel(x, y, c);
    }

    // The title, centred on the picture and on the title row.
    QPainterPath title;
    title.addText(0, 0, font, TITLE);
    QRectF box = title.boundingRect();
    const QPointF shift(std::round((WIDTH - box.width()) / 2 - box.left()),
                        std::round(TITLE_MIDDLE + 0.5 - box.center().y()));
    title.translate(shift);
    box = title.boundingRect();

    // A soft shadow under the letters, a little lower than they are.
    QImage mask(WIDTH, HEIGHT, QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(title.translated(1.5, 3), QColor(0, 0, 0, 235));
    }
    const QImage shadow = soften(mask);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.drawImage(0, 0, shadow);

    // Ornaments: a hairline that fades in from the margin, ending in a diamond.
    const double mid = TITLE_MIDDLE + 0.5;
    const double left_end = box.left() - ORNAMENT_GAP;
    const double right_end = box.right() + ORNAMENT_GAP;
    for (int side = 0; side < 2; ++side) {
        const double from = side == 0 ? MARGIN + 6 : WIDTH - MARGIN - 6;
        const double to = side == 0 ? left_end - 6 : right_end + 6;
        QLinearGradient fade(from, 0, to, 0);
        fade.setColorAt(0, qcolor(RULE, 0));
        fade.setColorAt(1, qcolor(RULE, 220));
        p.fillRect(QRectF(std::min(from, to), mid - 0.5, std::abs(to - from), 1), fade);
        const double tip = side == 0 ? left_end : right_end;
        p.fillPath(diamond(tip, mid, 4.5), qcolor(RULE));
        p.fillPath(diamond(tip + (side == 0 ? -9 : 9), mid, 2.2), qcolor(RULE, 200));
    }

    p.fillPath(title, qcolor(LETTERS));
    p.end();

    // The frame rows last, over everything.
    for (int x = 0; x < WIDTH; ++x) {
        image.setPixel(x, HIGHLIGHT_ROW, qcolor(HIGHLIGHT).rgb());
        image.setPixel(x, RULE_ROW, qcolor(RULE).rgb());
        image.setPixel(x, SHADE_ROW, qcolor(SHADE).rgb());
    }
    return image;
}

struct Entry {
    Rgb colour;
    std::size_t count;
};

// Median cut: splits the colours into `boxes` groups along their widest channel, at
// the median by pixel count, and gives each group its weighted mean.
std::vector<Rgb> median_cut(std::vector<Entry> colours, std::size_t boxes)
{
    struct Box {
        std::size_t begin, end;
    };
    const auto channel = [](const Rgb &c, int ch) { return ch == 0 ? c.r : ch == 1 ? c.g : c.b; };
    const auto widest = [&](const Box &b, int &which) {
        int best = -1;
        for (int ch = 0; ch < 3; ++ch) {
            int lo = 255, hi = 0;
            for (std::size_t i = b.begin; i < b.end; ++i) {
                lo = std::min<int>(lo, channel(colours[i].colour, ch));
                hi = std::max<int>(hi, channel(colours[i].colour, ch));
            }
            if (hi - lo > best) {
                best = hi - lo;
                which = ch;
            }
        }
        return best;
    };
    std::vector<Box> list{{0, colours.size()}};
    while (list.size() < boxes) {
        std::size_t pick = list.size();
        int pick_range = 0, pick_channel = 0;
        for (std::size_t i = 0; i < list.size(); ++i) {
            int ch = 0;
            const int range = list[i].end - list[i].begin > 1 ? widest(list[i], ch) : 0;
            if (range > pick_range) {
                pick = i;
                pick_range = range;
                pick_channel = ch;
            }
        }
        if (pick == list.size())
            break; // every group is a single colour
        Box b = list[pick];
        const auto first = colours.begin() + static_cast<std::ptrdiff_t>(b.begin);
        const auto last = colours.begin() + static_cast<std::ptrdiff_t>(b.end);
        std::sort(first, last, [&](const Entry &x, const Entry &y) {
            return channel(x.colour, pick_channel) < channel(y.colour, pick_channel);
        });
        std::size_t total = 0;
        for (auto it = first; it != last; ++it) total += it->count;
        std::size_t split = b.begin, seen = 0;
        while (split + 1 < b.end && seen + colours[split].count <= total / 2)
            seen += colours[split++].count;
        if (split == b.begin)
            ++split;
        list[pick] = {b.begin, split};
        list.push_back({split, b.end});
    }
    std::vector<Rgb> palette;
    for (const Box &b : list) {
        double r = 0, g = 0, bl = 0, n = 0;
        for (std::size_t i = b.begin; i < b.end; ++i) {
            const auto w = static_cast<double>(colours[i].count);
            r += colours[i].colour.r * w;
            g += colours[i].colour.g * w;
            bl += colours[i].colour.b * w;
            n += w;
        }
        palette.push_back({static_cast<std::uint8_t>(std::lround(r / n)),
                           static_cast<std::uint8_t>(std::lround(g / n)),
                           static_cast<std::uint8_t>(std::lround(bl / n))});
    }
    return palette;
}

// The picture with a palette of at most 256 colours. `exact` colours keep entries of
// their own (first, in the order given), so flat areas come out unchanged.
ilbm::IndexedImage quantise(const QImage &image, const std::vector<Rgb> &exact)
{
    std::map<std::uint32_t, std::size_t> counts; // in the order of their keys
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y) & 0xFFFFFF];

    std::vector<Rgb> palette;
    std::set<std::uint32_t> in_palette;
    const auto add = [&](Rgb c) {
        if (in_palette.insert(key(c)).second)
            palette.push_back(c);
    };
    for (Rgb c : exact) add(c);
    std::vector<Entry> rest;
    for (const auto &[k, n] : counts)
        if (!in_palette.count(k))
            rest.push_back({{static_cast<std::uint8_t>(k >> 16), static_cast<std::uint8_t>(k >> 8),
                             static_cast<std::uint8_t>(k)},
                            n});
    if (palette.size() + rest.size() <= 256) {
        for (const Entry &e : rest) add(e.colour);
    } else {
        for (Rgb c : median_cut(rest, 256 - palette.size())) add(c);
    }

    QList<QRgb> table;
    for (Rgb c : palette) table.push_back(qRgb(c.r, c.g, c.b));
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, table);
    ilbm::IndexedImage out{image.width(), image.height(), palette, {}};
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out.pixels.push_back(static_cast<std::uint8_t>(indexed.pixelIndex(x, y)));
    return out;
}

// Draws the banner and writes it; false after saying why not.
bool make_banner(int argc, char **argv)
{
    QGuiApplication app(argc, argv);

    QFont font;
    if (!title_font(font))
        return false;
    const QImage image = draw(font);

    std::vector<Rgb> exact;
    exact.reserve(banner::HEIGHT + 4);
    for (int y = 0; y < banner::HEIGHT; ++y) exact.push_back(banner::background(y));
    exact.insert(exact.end(), {banner::HIGHLIGHT, banner::RULE, banner::SHADE, banner::LETTERS});
    const ilbm::IndexedImage picture = quantise(image, exact);

    const std::vector<std::uint8_t> bytes = ilbm::encode(picture, ilbm::Compression::ByteRun1);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "make_banner: cannot write %s\n", argv[1]);
        return false;
    }
    std::printf("make_banner: %s, %dx%d, %zu colours, %zu bytes\n", argv[1], picture.width,
                picture.height, picture.palette.size(), bytes.size());
    // The preview is the file as the launcher decodes it.
    const QImage shown = platform::decode_ilbm(bytes.data(), bytes.size());
    if (argc == 3 && !shown.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "make_banner: cannot write %s\n", argv[2]);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_banner OUTPUT.iff [PREVIEW.png]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    try {
        return make_banner(argc, argv) ? 0 : 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "make_banner: %s\n", e.what());
        return 1;
    }
}
