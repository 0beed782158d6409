// Filling a program's texts with values. The texts come from translations,
// which are data, not code: a conversion is filled only from an argument of
// its own type, so a translator's "%s" where a number goes (or a stray "%n")
// shows as typed instead of reading memory. Supported: %s, %d, %x, %X with
// an optional '0' flag and width (capped), and "%%".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tools_common {

/// One typed value for format_text.
struct TextArg {
  TextArg(int32_t v) : is_text(false), number(v) {}
  TextArg(int64_t v) : is_text(false), number(v) {}
  TextArg(const char *v) : is_text(true), text(v ? v : "") {}
  TextArg(std::string_view v) : is_text(true), text(v) {}
  TextArg(const std::string &v) : is_text(true), text(v) {}

  bool is_text;
  int64_t number = 0;
  std::string text;
};

/// Widest field a conversion may ask for.
inline constexpr int kMaxFieldWidth = 64;

/// fmt with its conversions filled from args in order. A conversion whose
/// argument is missing or of the other kind is copied literally (its
/// argument, if any, is still used up so the rest stay in place); unknown
/// conversions are copied literally and use no argument.
std::string format_text(std::string_view fmt, const std::vector<TextArg> &args);
inline std::string format_text(std::string_view fmt, std::initializer_list<TextArg> args) {
  return format_text(fmt, std::vector<TextArg>(args));
}

/// The conversions of fmt in order as their letters ("sd" for "%s to %d"),
/// for checking that a translation keeps its source's conversions.
std::string format_conversions(std::string_view fmt);

/// The parts of a text separated by '@' (a trailing '@' ends the last part
/// and adds no empty one): "Input Files@Output Files@" -> two parts.
std::vector<std::string> split_at_signs(std::string_view text);

}  // namespace tools_common
