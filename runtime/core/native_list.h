// The natives, in their fixed order: a native's place in this list is its position in the
// natives table, which the boot source and Tavbin streams name natives by. The natives table's
// names and positions come from here; each group of natives stores its entries by these ids,
// and the boot image's build checks library/boot/natives.tav against this list.
//
// X(ID, "name"): NAT_ID is the native's 1-based position.
#pragma once
#include <cstdint>

#define TAV_NATIVES(X) \
  X(IF, "if") \
  X(UNLESS, "unless") \
  X(EITHER, "either") \
  X(ANY, "any") \
  X(ALL, "all") \
  X(WHILE, "while") \
  X(UNTIL, "until") \
  X(LOOP, "loop") \
  X(REPEAT, "repeat") \
  X(FOREVER, "forever") \
  X(FOREACH, "foreach") \
  X(FORALL, "forall") \
  X(REMOVE_EACH, "remove-each") \
  X(FUNC, "func") \
  X(FUNCTION, "function") \
  X(DOES, "does") \
  X(HAS, "has") \
  X(SWITCH, "switch") \
  X(CASE, "case") \
  X(DO, "do") \
  X(GET, "get") \
  X(SET, "set") \
  X(PRINT, "print") \
  X(PRIN, "prin") \
  X(EQUAL_Q, "equal?") \
  X(NOT_EQUAL_Q, "not-equal?") \
  X(STRICT_EQUAL_Q, "strict-equal?") \
  X(LESSER_Q, "lesser?") \
  X(GREATER_Q, "greater?") \
  X(LESSER_OR_EQUAL_Q, "lesser-or-equal?") \
  X(GREATER_OR_EQUAL_Q, "greater-or-equal?") \
  X(SAME_Q, "same?") \
  X(NOT, "not") \
  X(TYPE_Q, "type?") \
  X(REDUCE, "reduce") \
  X(COMPOSE, "compose") \
  X(STATS, "stats") \
  X(BIND, "bind") \
  X(IN, "in") \
  X(PARSE, "parse") \
  X(UNION, "union") \
  X(INTERSECT, "intersect") \
  X(UNIQUE, "unique") \
  X(DIFFERENCE, "difference") \
  X(EXCLUDE, "exclude") \
  X(COMPLEMENT_Q, "complement?") \
  X(DEHEX, "dehex") \
  X(ENHEX, "enhex") \
  X(NEGATIVE_Q, "negative?") \
  X(POSITIVE_Q, "positive?") \
  X(MAX, "max") \
  X(MIN, "min") \
  X(SHIFT, "shift") \
  X(TO_HEX, "to-hex") \
  X(SINE, "sine") \
  X(COSINE, "cosine") \
  X(TANGENT, "tangent") \
  X(ARCSINE, "arcsine") \
  X(ARCCOSINE, "arccosine") \
  X(ARCTANGENT, "arctangent") \
  X(ARCTANGENT2, "arctangent2") \
  X(NAN_Q, "NaN?") \
  X(LOG_2, "log-2") \
  X(LOG_10, "log-10") \
  X(LOG_E, "log-e") \
  X(EXP, "exp") \
  X(SQUARE_ROOT, "square-root") \
  X(CONSTRUCT, "construct") \
  X(VALUE_Q, "value?") \
  X(TRY, "try") \
  X(UPPERCASE, "uppercase") \
  X(LOWERCASE, "lowercase") \
  X(AS_PAIR, "as-pair") \
  X(AS_POINT2D, "as-point2D") \
  X(AS_POINT3D, "as-point3D") \
  X(AS_MONEY, "as-money") \
  X(BREAK, "break") \
  X(CONTINUE, "continue") \
  X(EXIT, "exit") \
  X(RETURN, "return") \
  X(THROW, "throw") \
  X(CATCH, "catch") \
  X(EXTEND, "extend") \
  X(DEBASE, "debase") \
  X(TO_LOCAL_FILE, "to-local-file") \
  X(WAIT, "wait") \
  X(CHECKSUM, "checksum") \
  X(UNSET, "unset") \
  X(NEW_LINE, "new-line") \
  X(NEW_LINE_Q, "new-line?") \
  X(ENBASE, "enbase") \
  X(CONTEXT_Q, "context?") \
  X(SET_ENV, "set-env") \
  X(GET_ENV, "get-env") \
  X(LIST_ENV, "list-env") \
  X(NOW, "now") \
  X(SIGN_Q, "sign?") \
  X(AS, "as") \
  X(CALL, "call") \
  X(ZERO_Q, "zero?") \
  X(SIZE_Q, "size?") \
  X(BROWSE, "browse") \
  X(COMPRESS, "compress") \
  X(DECOMPRESS, "decompress") \
  X(RECYCLE, "recycle") \
  X(TRANSCODE, "transcode") \
  X(APPLY, "apply")

namespace tav::natives {

enum NativeId : uint32_t {
  NAT_NONE = 0,
#define TAV_NATIVE_ID(id, name) NAT_##id,
  TAV_NATIVES(TAV_NATIVE_ID)
#undef TAV_NATIVE_ID
};

#define TAV_NATIVE_ONE(id, name) +1
constexpr uint32_t NATIVE_COUNT = 0 TAV_NATIVES(TAV_NATIVE_ONE);
#undef TAV_NATIVE_ONE

// The natives' names, by position - 1.
constexpr const char* NATIVE_NAMES[NATIVE_COUNT] = {
#define TAV_NATIVE_NAME(id, name) name,
    TAV_NATIVES(TAV_NATIVE_NAME)
#undef TAV_NATIVE_NAME
};

}  // namespace tav::natives
