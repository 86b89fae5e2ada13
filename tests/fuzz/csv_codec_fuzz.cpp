// Feeds arbitrary UTF-8 text to load-csv, plainly and with each refinement. Ragged rows may
// come back as the alignment error value and a /header load of too little text may raise its
// error; nothing else may fail. Rows that load must write as CSV text that loads back the same.
#include "library_fuzz.h"

namespace {

const char* const definitions = R"tav(
fuzz-csv-ok?: func [result] [
	any [
		not error? :result
		all [result/id = 'message result/arg1 = "Data are not aligned"]
	]
]
fuzz-csv: func [text /local rows err again] [
	foreach call [
		[load-csv/flat text]
		[load-csv/as-records text]
		[load-csv/as-columns text]
		[load-csv/trim text]
		[load-csv/with text ";"]
		[load-csv/with text "::"]
		[load-csv/quote text #"'"]
	][
		unless fuzz-csv-ok? do call [do make error! rejoin ["failed: " mold call]]
	]
	err: try [load-csv/header text none]
	if all [error? err err/arg1 <> "CSV data are too small to use /HEADER refinement"] [do err]
	rows: load-csv text
	unless fuzz-csv-ok? :rows [do make error! "load-csv failed"]
	if any [error? rows empty? rows] [exit]
	again: load-csv to-csv rows
	unless (mold rows) == (mold again) [
		do make error! rejoin ["read back differently: " mold rows " then " mold again]
	]
]
)tav";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return library_fuzz::run_one(data, size, definitions, "fuzz-csv");
}
