// Names of the languages a DVD records by their two-letter ISO 639 code, and
// the ".lcd" file that renames them ("de Deutsch" per line). Names are UTF-8;
// the bytes of an ".lcd" file are decoded by the caller's choice (see
// decode_lcd_bytes) before they get here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tools_common {

/// Entries of the built-in table, "aa" Afar to "zu" Zulu in code order.
inline constexpr int kLanguageCount = 136;
/// Longest name kept, in characters (the design's 32-byte records).
inline constexpr int kLanguageNameMax = 29;
/// Lines shorter than this hold no code, blank and name.
inline constexpr int kLcdMinLine = 4;

struct LanguageEntry {
  char code[3];
  const char *name;
};

/// The built-in table.
const std::array<LanguageEntry, kLanguageCount> &language_table();

class LanguageNames {
 public:
  LanguageNames();

  /// The name for the two code bytes as a DVD attribute record stores them,
  /// or null when the code is not in the table.
  const char *find(uint8_t first, uint8_t second) const;

  /// Applies an ".lcd" text (UTF-8): each line's first two characters are a
  /// code, the name starts after the third, blanks around it dropped, and
  /// replaces that code's name cut to kLanguageNameMax characters. Lines
  /// under kLcdMinLine characters and unknown codes are ignored. Returns the
  /// number of names replaced.
  int apply_lcd(std::string_view utf8_text);

 private:
  std::array<std::string, kLanguageCount> names_;
};

/// True when bytes are well-formed UTF-8.
bool is_valid_utf8(std::string_view bytes);

/// Windows-1252 bytes as UTF-8 (the five unassigned bytes become U+FFFD).
std::string windows1252_to_utf8(std::string_view bytes);

/// The text of an ".lcd" file: its bytes when they are valid UTF-8 (a BOM
/// dropped), else fallback(bytes), else Windows-1252. fallback may be null.
std::string decode_lcd_bytes(std::string_view bytes, std::string (*fallback)(std::string_view, void *),
                             void *user);

/// The first max_chars characters of a UTF-8 text, never cutting one.
std::string utf8_prefix(std::string_view text, int max_chars);

}  // namespace tools_common
