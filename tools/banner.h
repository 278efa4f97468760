// The look of the launcher's banner, examples/kt.iff: its size, colours and where
// things go. make_banner draws from these.
#pragma once

#include "ilbm.h"

#include <cmath>
#include <cstdlib>

namespace banner {

using ilbm::Rgb;

constexpr int WIDTH = 400;
constexpr int HEIGHT = 80;
constexpr const char *TITLE = "KARTHOS";

// The background is a dark slate, a little lighter behind the title than at the top
// and bottom edges; each row has one colour, background(y).
constexpr Rgb EDGE{0x0c, 0x0f, 0x16};
constexpr Rgb GLOW{0x22, 0x29, 0x3a};

// A faint highlight along the top row; a brass rule with its shade along the bottom.
constexpr int HIGHLIGHT_ROW = 0;
constexpr Rgb HIGHLIGHT{0x3a, 0x42, 0x56};
constexpr int RULE_ROW = HEIGHT - 2;
constexpr Rgb RULE{0xb8, 0x93, 0x5a};
constexpr int SHADE_ROW = HEIGHT - 1;
constexpr Rgb SHADE{0x4a, 0x3b, 0x24};

// Columns at the left and right ends where nothing but background and frame shows.
constexpr int MARGIN = 14;

// The title: capitals CAP_HEIGHT pixels high, centred on TITLE_MIDDLE, in LETTERS.
constexpr Rgb LETTERS{0xee, 0xe4, 0xcc};
constexpr int TITLE_MIDDLE = 38;
constexpr int CAP_HEIGHT = 30;
constexpr int LETTER_SPACING = 8;
// Brass ornaments left and right of the title, on the title's middle row, ending
// ORNAMENT_GAP pixels before the letters.
constexpr int ORNAMENT_GAP = 14;

inline Rgb background(int y)
{
    // 1 on the title's middle row, falling off smoothly towards both edges.
    const double reach = y <= TITLE_MIDDLE ? TITLE_MIDDLE : HEIGHT - 1 - TITLE_MIDDLE;
    const double d = std::abs(y - TITLE_MIDDLE) / reach;
    const double t = 1.0 - d * d * (3.0 - 2.0 * d);
    const auto mix = [t](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>(std::lround(a + (b - a) * t));
    };
    return {mix(EDGE.r, GLOW.r), mix(EDGE.g, GLOW.g), mix(EDGE.b, GLOW.b)};
}

} // namespace banner
