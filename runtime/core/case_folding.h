// Letter case mapping and the display width of characters.
//
// Words, map! keys, string comparison, find and parse without /case all fold through
// casefold::map_char, and uppercase/lowercase change text with it. The mappings are the
// simple case mappings of Unicode 11.0; where a full upper-case mapping is several
// characters the first of them is used (U+00DF gives "S").
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace tav::casefold {

// Fills the direct tables of the Basic Multilingual Plane. Runs once during runtime
// initialisation; map_char answers every code point unchanged until it has run.
void init();

// The upper- or lower-case form of the code point, or the code point itself.
uint32_t map_char(uint32_t cp, bool upper);

uint32_t to_upper(uint32_t cp);

// The upper-case form, or the lower-case form when the upper-case form is the same.
uint32_t swap_case(uint32_t cp);

// Unit size the text needs once its case is changed: the caller widens the buffer to it
// (unicode::widen_units) before change_case_units, so that U+00FF upper-cases to U+0178.
unsigned change_case_unit(const void* units, size_t count, unsigned unit, bool upper);

// Maps count units in place; every mapped character must fit the unit size.
void change_case_units(void* units, size_t count, unsigned unit, bool upper);

// Characters a /part count covers: negative counts change nothing, and a count beyond
// the characters left stops at the tail.
inline size_t part_count(int64_t requested, size_t left) {
  if (requested <= 0) return 0;
  return static_cast<uint64_t>(requested) < left ? static_cast<size_t>(requested) : left;
}

// The constant pair lists, two words per pair, sorted by the first code point.
std::span<const uint32_t> upper_bmp_pairs();
std::span<const uint32_t> lower_bmp_pairs();
std::span<const uint32_t> upper_astral_pairs();
std::span<const uint32_t> lower_astral_pairs();

}  // namespace tav::casefold

namespace tav::unicode {

// Terminal columns: 0 for U+0000 and zero-width characters (combining and enclosing
// marks, format characters), 1 for other control characters, 2 for East Asian wide and
// fullwidth characters, else 1.
int char_width(uint32_t cp);

// As char_width, but East Asian ambiguous characters take 2 columns.
int char_width_cjk(uint32_t cp);

// True when cp lies in one of the inclusive (first, last) ranges, two words each,
// sorted by first code point.
bool in_ranges(uint32_t cp, std::span<const uint32_t> ranges);

std::span<const uint32_t> zero_width_ranges();
std::span<const uint32_t> wide_ranges();
std::span<const uint32_t> ambiguous_ranges();

}  // namespace tav::unicode
