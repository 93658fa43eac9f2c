#include "base/value_text.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace bm {

namespace {

std::u16string Ascii(const char* text) {
  std::u16string out;
  for (; *text; ++text) out.push_back(static_cast<unsigned char>(*text));
  return out;
}

// `value` in decimal, zero-padded to `width` digits. Row texts format a time per listed item,
// where snprintf showed in the folder load's profile.
void AppendPadded(std::u16string& out, unsigned value, int width) {
  char16_t digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0 && count < 10);
  for (int i = count; i < width; ++i) out.push_back(u'0');
  while (count > 0) out.push_back(digits[--count]);
}

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's civil_from_days).
void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

}  // namespace

std::u16string Int32Text(std::int32_t value) {
  std::u16string text;
  if (value < 0) text.push_back(u'-');
  // The magnitude as unsigned, so the most negative value does not overflow.
  const unsigned magnitude =
      value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  AppendPadded(text, magnitude, 1);
  return text;
}

std::u16string Hex32Text(std::uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08x", value);
  return Ascii(buf);
}

// libfvalue's default decimal form: one digit, six fraction digits and a signed three-digit
// exponent ("5.000000e-001"); infinities and NaNs get its three-letter words.
std::u16string FloatText(double value) {
  if (std::isinf(value)) return u"Inf";
  if (std::isnan(value)) return u"NaN";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.6e", value);
  std::string text = buf;
  const std::size_t e = text.find('e');
  if (e != std::string::npos && e + 2 < text.size()) {
    std::string digits = text.substr(e + 2);
    while (digits.size() < 3) digits.insert(digits.begin(), '0');
    text = text.substr(0, e + 2) + digits;
  }
  return Ascii(text.c_str());
}

CivilTime FiletimeToCivil(std::uint64_t filetime) {
  constexpr std::uint64_t kTicksPerSecond = 10'000'000;
  constexpr long long kSecondsFrom1601To1970 = 11'644'473'600LL;
  const long long seconds =
      static_cast<long long>(filetime / kTicksPerSecond) - kSecondsFrom1601To1970;
  const auto ticks = static_cast<std::uint32_t>(filetime % kTicksPerSecond);
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  CivilTime t{};
  CivilFromDays(days, t.year, t.month, t.day);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest % 3600 / 60);
  t.second = static_cast<int>(rest % 60);
  t.nanoseconds = ticks * 100;
  return t;
}

std::optional<std::u16string> FiletimeText(std::uint64_t filetime) {
  static constexpr std::u16string_view kMonths[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                    u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
  const CivilTime t = FiletimeToCivil(filetime);
  if (t.year > 9999) return std::nullopt;
  // "Mon DD, YYYY hh:mm:ss.nnnnnnnnn"
  std::u16string text(kMonths[t.month - 1]);
  text.reserve(31);
  text.push_back(u' ');
  AppendPadded(text, static_cast<unsigned>(t.day), 2);
  text += u", ";
  AppendPadded(text, static_cast<unsigned>(t.year), 4);
  text.push_back(u' ');
  AppendPadded(text, static_cast<unsigned>(t.hour), 2);
  text.push_back(u':');
  AppendPadded(text, static_cast<unsigned>(t.minute), 2);
  text.push_back(u':');
  AppendPadded(text, static_cast<unsigned>(t.second), 2);
  text.push_back(u'.');
  AppendPadded(text, t.nanoseconds, 9);
  return text;
}

}  // namespace bm
