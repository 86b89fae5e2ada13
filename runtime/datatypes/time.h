// time!: a duration or a time of day, held as seconds with a fraction (negative allowed).
// A child of float!: compare, negate, absolute, remainder and random are float!'s. The hour,
// minute and second fields are derived from the seconds, never stored.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav::time_ {

enum Field : int { FIELD_HOUR = 1, FIELD_MINUTE = 2, FIELD_SECOND = 3 };

Cell* push(double seconds);
Cell* make_at(double seconds, Cell* c);   // type byte := time!, other header bits kept
// The double comes as two halves, high first, as the binary loader and the lexer pass them.
Cell* append_to_block(const Cell* block, uint32_t high, uint32_t low);

// Hours truncated toward zero; minutes 0 to 59 of the magnitude; seconds with the time's
// sign and fraction.
int32_t hours(double seconds);
int32_t minutes(double seconds);
double seconds_field(double seconds);
Cell* push_field(const Cell* time, int field);
// hour 1, minute 2, second 3; another word gives -1, or raises cannot-use when value is a
// time! (the word cannot be used on it).
int field_index(const Cell* word, const Cell* value);

// Appends h:mm:ss[.fff] (with "-" for negative times) to a string buffer; answers the limit
// less the characters appended.
int form_text(double seconds, NodeId buffer, int limit);
// The seconds as form_text shows them (a seconds field that rounds to 60 carried into the
// minutes), for a caller that must carry further, as a date does into its day.
double shown_seconds(double seconds);
[[noreturn]] void bad_to_arg(const Cell* spec);

// Reads a time token: optional sign, hours ":" minutes, optionally ":" seconds with a
// fraction ("." or ","); a fraction on the second field makes it minutes:seconds. Digits
// may carry "'" separators. False when the text is not a time.
bool text_to_seconds(const void* units, uint32_t count, int unit, double* out);

void init();

}  // namespace tav::time_
