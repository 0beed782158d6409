#include "tools/common/language_names.h"

#include <cstring>

namespace tools_common {

const std::array<LanguageEntry, kLanguageCount> &language_table() {
  static const std::array<LanguageEntry, kLanguageCount> table = {{
      {"aa", "Afar"},           {"ab", "Abkhazian"},      {"af", "Afrikaans"},
      {"am", "Amharic"},        {"ar", "Arabic"},         {"as", "Assamese"},
      {"ay", "Aymara"},         {"az", "Azerbaijani"},    {"ba", "Bashkir"},
      {"be", "Byelorussian"},   {"bg", "Bulgarian"},      {"bh", "Bihari"},
      {"bi", "Bislama"},        {"bn", "Bengali;Bangla"}, {"bo", "Tibetan"},
      {"br", "Breton"},         {"ca", "Catalan"},        {"co", "Corsican"},
      {"cs", "Czech"},          {"cy", "Welsh"},          {"da", "Danish"},
      {"de", "German"},         {"dz", "Bhutani"},        {"el", "Greek"},
      {"en", "English"},        {"eo", "Esperanto"},      {"es", "Spanish"},
      {"et", "Estonian"},       {"eu", "Basque"},         {"fa", "Persian"},
      {"fi", "Finnish"},        {"fj", "Fiji"},           {"fo", "Faeroese"},
      {"fr", "French"},         {"fy", "Frisian"},        {"ga", "Irish"},
      {"gd", "Scots Gaelic"},   {"gl", "Galician"},       {"gn", "Guarani"},
      {"gu", "Gujarati"},       {"ha", "Hausa"},          {"hi", "Hindi"},
      {"hr", "Croatian"},       {"hu", "Hungarian"},      {"hy", "Armenian"},
      {"ia", "Interlingua"},    {"ie", "Interlingue"},    {"ik", "Inupiak"},
      {"in", "Indonesian"},     {"is", "Icelandic"},      {"it", "Italian"},
      {"iw", "Hebrew"},         {"ja", "Japanese"},       {"ji", "Yiddish"},
      {"jw", "Javanese"},       {"ka", "Georgian"},       {"kk", "Kazakh"},
      {"kl", "Greenlandic"},    {"km", "Cambodian"},      {"kn", "Kannada"},
      {"ko", "Korean"},         {"ks", "Kashmiri"},       {"ku", "Kurdish"},
      {"ky", "Kirghiz"},        {"la", "Latin"},          {"ln", "Lingala"},
      {"lo", "Laothian"},       {"lt", "Lithuanian"},     {"lv", "Latvian,Lettish"},
      {"mg", "Malagasy"},       {"mi", "Maori"},          {"mk", "Macedonian"},
      {"ml", "Malayalam"},      {"mn", "Mongolian"},      {"mo", "Moldavian"},
      {"mr", "Marathi"},        {"ms", "Malay"},          {"mt", "Maltese"},
      {"my", "Burmese"},        {"na", "Nauru"},          {"ne", "Nepali"},
      {"nl", "Dutch"},          {"no", "Norwegian"},      {"oc", "Occitan"},
      {"om", "(Afan) Oromo"},   {"or", "Oriya"},          {"pa", "Punjabi"},
      {"pl", "Polish"},         {"ps", "Pashto, Pushto"}, {"pt", "Portuguese"},
      {"qu", "Quechua"},        {"rm", "Rhaeto-Romance"}, {"rn", "Kirundi"},
      {"ro", "Romanian"},       {"ru", "Russian"},        {"rw", "Kinyarwanda"},
      {"sa", "Sanskrit"},       {"sd", "Sindhi"},         {"sg", "Sangro"},
      {"sh", "Serbo-Croatian"}, {"si", "Singhalese"},     {"sk", "Slovak"},
      {"sl", "Slovenian"},      {"sm", "Samoan"},         {"sn", "Shona"},
      {"so", "Somali"},         {"sq", "Albanian"},       {"sr", "Serbian"},
      {"ss", "Siswati"},        {"st", "Sesotho"},        {"su", "Sundanese"},
      {"sv", "Swedish"},        {"sw", "Swahili"},        {"ta", "Tamil"},
      {"te", "Tegulu"},         {"tg", "Tajik"},          {"th", "Thai"},
      {"ti", "Tigrinya"},       {"tk", "Turkmen"},        {"tl", "Tagalog"},
      {"tn", "Setswana"},       {"to", "Tonga"},          {"tr", "Turkish"},
      {"ts", "Tsonga"},         {"tt", "Tatar"},          {"tw", "Twi"},
      {"uk", "Ukrainian"},      {"ur", "Urdu"},           {"uz", "Uzbek"},
      {"vi", "Vietnamese"},     {"vo", "Volapuk"},        {"wo", "Wolof"},
      {"xh", "Xhosa"},          {"yo", "Yoruba"},         {"zh", "Chinese"},
      {"zu", "Zulu"},
  }};
  return table;
}

LanguageNames::LanguageNames() {
  const auto &table = language_table();
  for (int i = 0; i < kLanguageCount; ++i) names_[i] = table[i].name;
}

const char *LanguageNames::find(uint8_t first, uint8_t second) const {
  const auto &table = language_table();
  for (int i = 0; i < kLanguageCount; ++i) {
    if (static_cast<uint8_t>(table[i].code[0]) == first && static_cast<uint8_t>(table[i].code[1]) == second)
      return names_[i].c_str();
  }
  return nullptr;
}

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Byte length of the UTF-8 character starting with lead (1 for a stray
// byte, which valid input does not hold).
size_t utf8_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

// Advances at by n characters of text (stopping at its end).
size_t skip_chars(std::string_view text, size_t at, int n) {
  for (int i = 0; i < n && at < text.size(); ++i) at += utf8_length(static_cast<unsigned char>(text[at]));
  return at < text.size() ? at : text.size();
}

int count_chars(std::string_view text) {
  int n = 0;
  for (size_t at = 0; at < text.size(); at = skip_chars(text, at, 1)) ++n;
  return n;
}

void append_utf8(std::string &out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

int LanguageNames::apply_lcd(std::string_view text) {
  const auto &table = language_table();
  int replaced = 0;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && (is_blank(text[at]) || text[at] == '\r' || text[at] == '\n')) ++at;
    size_t end = at;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    std::string_view line = text.substr(at, end - at);
    at = end;
    while (!line.empty() && is_blank(line.back())) line.remove_suffix(1);
    if (count_chars(line) < kLcdMinLine) continue;
    size_t name_at = skip_chars(line, 0, 3);
    while (name_at < line.size() && is_blank(line[name_at])) ++name_at;
    const std::string_view name = line.substr(name_at);
    if (name.empty()) continue;
    for (int i = 0; i < kLanguageCount; ++i) {
      if (line[0] == table[i].code[0] && line[1] == table[i].code[1]) {
        names_[i] = utf8_prefix(name, kLanguageNameMax);
        ++replaced;
        break;
      }
    }
  }
  return replaced;
}

bool is_valid_utf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n;
    uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      n = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + n >= s.size()) return false;
    for (size_t k = 1; k <= n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

std::string windows1252_to_utf8(std::string_view bytes) {
  // 0x80..0x9F; 0xFFFD for the bytes the code page leaves unassigned.
  static const uint16_t high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    append_utf8(out, c >= 0x80 && c < 0xA0 ? high[c - 0x80] : c);
  }
  return out;
}

std::string decode_lcd_bytes(std::string_view bytes, std::string (*fallback)(std::string_view, void *),
                             void *user) {
  if (is_valid_utf8(bytes)) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return std::string(bytes);
  }
  if (fallback) return fallback(bytes, user);
  return windows1252_to_utf8(bytes);
}

std::string utf8_prefix(std::string_view text, int max_chars) {
  return std::string(text.substr(0, skip_chars(text, 0, max_chars)));
}

}  // namespace tools_common
