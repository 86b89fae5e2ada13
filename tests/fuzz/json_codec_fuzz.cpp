// Feeds arbitrary UTF-8 text to load-json. Text that is not JSON must come back as the error
// value; the only errors raised may be a refused escape, the parse depth limit and the
// scanner refusing a number text too long for it. A value
// that loads must write as JSON text that loads back and writes again the same.
#include "library_fuzz.h"

namespace {

const char* const definitions = R"tav(
fuzz-json: func [text /local value err once again] [
	err: try [set/any 'value load-json text none]
	if error? err [
		if find [invalid-data parse-stack] err/id [exit]
		; The scanner refuses number texts longer than it reads (hundreds of digits).
		if all [err/type = 'syntax err/id = 'invalid] [exit]
		do err
	]
	if error? :value [
		unless all [
			value/id = 'message
			string? value/arg1
			find/match value/arg1 "Invalid JSON string. Line: "
		] [do make error! rejoin ["unexpected error value: " mold value]]
		exit
	]
	once: to-json :value
	again: to-json load-json once
	unless once == again [
		do make error! rejoin ["written differently: " mold once " then " mold again]
	]
]
)tav";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return library_fuzz::run_one(data, size, definitions, "fuzz-json");
}
