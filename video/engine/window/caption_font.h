// A small built-in bitmap font for the caption: 5 x 7 glyphs for digits,
// letters (lower case shown as upper case) and common punctuation.
#pragma once

#include <cstdint>

namespace kestrum::window {

inline constexpr int32_t kGlyphWidth = 5;
inline constexpr int32_t kGlyphHeight = 7;
/// Advance per character (one column of space).
inline constexpr int32_t kGlyphAdvance = kGlyphWidth + 1;

/// The glyph of `c`: seven rows, bit 4 the leftmost column. Characters
/// without a glyph draw as blanks.
const uint8_t *glyph(char c);

/// Width in pixels of `text` drawn with this font.
int32_t text_width(const char *text);

}  // namespace kestrum::window
