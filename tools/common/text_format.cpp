#include "tools/common/text_format.h"

#include <cstdio>

namespace tools_common {
namespace {

struct Conversion {
  bool zero = false;
  int width = 0;
  char letter = 0;
  size_t length = 0;  // characters from '%' to the letter, inclusive
};

// Parses the conversion starting at fmt[at] == '%'. letter 0 when it is not
// one we fill.
Conversion parse_conversion(std::string_view fmt, size_t at) {
  Conversion c;
  size_t i = at + 1;
  if (i < fmt.size() && fmt[i] == '0') {
    c.zero = true;
    ++i;
  }
  while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
    if (c.width <= kMaxFieldWidth) c.width = c.width * 10 + (fmt[i] - '0');
    ++i;
  }
  if (i < fmt.size() && (fmt[i] == 's' || fmt[i] == 'd' || fmt[i] == 'x' || fmt[i] == 'X')) c.letter = fmt[i];
  c.length = i + 1 - at;
  if (c.width > kMaxFieldWidth) c.width = kMaxFieldWidth;
  return c;
}

std::string number_text(const Conversion &c, int64_t v) {
  char buf[40];
  if (c.letter == 'd') {
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
  } else {
    // Hex shows the 32-bit pattern of negative ids, as the stream ids are.
    const auto u = static_cast<unsigned long long>(v < 0 ? static_cast<uint32_t>(v) : v);
    std::snprintf(buf, sizeof buf, c.letter == 'x' ? "%llx" : "%llX", u);
  }
  std::string s(buf);
  if (static_cast<int>(s.size()) < c.width) {
    const size_t pad = c.width - s.size();
    if (c.zero && !s.empty() && s[0] == '-')
      s.insert(1, pad, '0');
    else
      s.insert(0, pad, c.zero ? '0' : ' ');
  }
  return s;
}

}  // namespace

std::string format_text(std::string_view fmt, const std::vector<TextArg> &args) {
  std::string out;
  out.reserve(fmt.size() + 32);
  size_t next = 0;
  for (size_t i = 0; i < fmt.size();) {
    if (fmt[i] != '%') {
      out += fmt[i++];
      continue;
    }
    if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    const Conversion c = parse_conversion(fmt, i);
    const std::string_view literal = fmt.substr(i, c.length);
    i += c.length;
    if (c.letter == 0) {
      out += literal;
      continue;
    }
    if (next >= args.size()) {
      out += literal;
      continue;
    }
    const TextArg &a = args[next++];
    const bool wants_text = c.letter == 's';
    if (a.is_text != wants_text) {
      out += literal;
    } else if (wants_text) {
      if (static_cast<int>(a.text.size()) < c.width) out.append(c.width - a.text.size(), ' ');
      out += a.text;
    } else {
      out += number_text(c, a.number);
    }
  }
  return out;
}

std::string format_conversions(std::string_view fmt) {
  std::string letters;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') continue;
    if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
      ++i;
      continue;
    }
    const Conversion c = parse_conversion(fmt, i);
    if (c.letter) letters += c.letter;
    i += c.length - 1;
  }
  return letters;
}

std::vector<std::string> split_at_signs(std::string_view text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < text.size()) {
    const size_t at = text.find('@', start);
    if (at == std::string_view::npos) {
      parts.emplace_back(text.substr(start));
      break;
    }
    parts.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
  return parts;
}

}  // namespace tools_common
