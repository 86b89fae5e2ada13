// The build record in system/build: the build's date, and the source-control record as an
// object or none, as start-up puts them there from what the build wrote.
#include <gtest/gtest.h>

#include "core/system_object.h"
#include "text_eval_fixture.h"

namespace tav::build_record_test {

using texteval::eval_mold;
using texteval::TextEval;
using system_object::BuildRecord;

TEST_F(TextEval, BuildRecordFillsSystemBuild) {
  struct Case {
    BuildRecord record;
    const char* date;
    const char* git;
  } cases[] = {
      // No checkout: a date and no record.
      {{1797007955, false, "", "", 0, 0, ""}, "11-Dec-2026/16:52:35", "none"},
      // A branch with no tag counts every commit.
      {{0, true, "main", "", 628, 1797007910, "b832e879616b9341bfd2bfa4a13c3fe06218b506"},
       "1-Jan-1970/0:00:00",
       "[\"main\" none 628 11-Dec-2026/16:51:50 #b832e879616b9341bfd2bfa4a13c3fe06218b506]"},
      // A detached head past a tag.
      {{951782400, true, "", "v0.1", 3, 951782399, "00ab"}, "29-Feb-2000/0:00:00",
       "[none #v0.1 3 28-Feb-2000/23:59:59 #00ab]"},
  };
  for (const Case& c : cases) {
    system_object::fill_build_record(c.record);
    EXPECT_EQ(eval_mold("system/build/date"), c.date);
    EXPECT_EQ(eval_mold("either object? system/build/git [values-of system/build/git] [none]"),
              c.git);
  }
  EXPECT_EQ(eval_mold("words-of system/build/git"), "[branch tag ahead date commit]");
  // What the build wrote goes back.
  system_object::fill_build_record();
  EXPECT_EQ(eval_mold("date? system/build/date"), "true");
}

}  // namespace tav::build_record_test
