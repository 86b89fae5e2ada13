#include "core/case_folding.h"
#include "init_steps.h"

#include "core/unicode.h"

namespace tav::casefold {

namespace tables {
#include "core/case_folding_tables.inc"

// One load per BMP character. Every BMP mapping stays in the BMP (the generator checks),
// so 16-bit entries suffice; 0 means no mapping.
uint16_t upper_direct[0x10000];
uint16_t lower_direct[0x10000];

void fill_direct(uint16_t* direct, std::span<const uint32_t> pairs) {
  for (size_t i = 0; i + 1 < pairs.size(); i += 2)
    direct[pairs[i]] = static_cast<uint16_t>(pairs[i + 1]);
}

uint32_t map_astral(uint32_t cp, std::span<const uint32_t> pairs) {
  size_t lo = 0, hi = pairs.size() / 2;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (pairs[2 * mid] < cp)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo < pairs.size() / 2 && pairs[2 * lo] == cp) return pairs[2 * lo + 1];
  return cp;
}

}  // namespace tables

std::span<const uint32_t> upper_bmp_pairs() { return tables::upper_bmp_pairs; }
std::span<const uint32_t> lower_bmp_pairs() { return tables::lower_bmp_pairs; }
std::span<const uint32_t> upper_astral_pairs() { return tables::upper_astral_pairs; }
std::span<const uint32_t> lower_astral_pairs() { return tables::lower_astral_pairs; }

void init() {
  tables::fill_direct(tables::upper_direct, tables::upper_bmp_pairs);
  tables::fill_direct(tables::lower_direct, tables::lower_bmp_pairs);
}

uint32_t map_char(uint32_t cp, bool upper) {
  if (cp <= 0xFFFF) {
    uint32_t m = upper ? tables::upper_direct[cp] : tables::lower_direct[cp];
    return m ? m : cp;
  }
  return tables::map_astral(cp, upper ? std::span<const uint32_t>(tables::upper_astral_pairs)
                                      : std::span<const uint32_t>(tables::lower_astral_pairs));
}

uint32_t to_upper(uint32_t cp) { return map_char(cp, true); }

uint32_t swap_case(uint32_t cp) {
  uint32_t up = map_char(cp, true);
  return up != cp ? up : map_char(cp, false);
}

unsigned change_case_unit(const void* units, size_t count, unsigned unit, bool upper) {
  unsigned need = unit;
  for (size_t i = 0; i < count && need < 4; ++i) {
    unsigned u = unicode::unit_for(map_char(unicode::read_unit(units, i, unit), upper));
    if (u > need) need = u;
  }
  return need;
}

void change_case_units(void* units, size_t count, unsigned unit, bool upper) {
  for (size_t i = 0; i < count; ++i)
    unicode::write_unit(units, i, unit, map_char(unicode::read_unit(units, i, unit), upper));
}

}  // namespace tav::casefold

namespace tav::unicode {

bool in_ranges(uint32_t cp, std::span<const uint32_t> ranges) {
  if (ranges.size() < 2 || cp < ranges.front() || cp > ranges.back()) return false;
  // The last range whose first code point is not above cp.
  size_t lo = 0, hi = ranges.size() / 2;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (ranges[2 * mid] <= cp)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo > 0 && cp <= ranges[2 * (lo - 1) + 1];
}

std::span<const uint32_t> zero_width_ranges() { return casefold::tables::zero_width_ranges; }
std::span<const uint32_t> wide_ranges() { return casefold::tables::wide_ranges; }
std::span<const uint32_t> ambiguous_ranges() { return casefold::tables::ambiguous_ranges; }

int char_width(uint32_t cp) {
  if (cp == 0) return 0;
  if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return 1;
  if (in_ranges(cp, zero_width_ranges())) return 0;
  if (in_ranges(cp, wide_ranges())) return 2;
  return 1;
}

int char_width_cjk(uint32_t cp) {
  if (in_ranges(cp, ambiguous_ranges())) return 2;
  return char_width(cp);
}

}  // namespace tav::unicode

namespace tav::init_steps {
void case_tables() { casefold::init(); }
}  // namespace tav::init_steps
