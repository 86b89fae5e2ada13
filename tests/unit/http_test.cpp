#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "core/stack.h"
#include "datatypes/string.h"
#include "datatypes/type_dispatch.h"
#include "services/http.h"
#include "test_runtime.h"

namespace tav {
namespace {

// The flat mold of the map the header text parses into.
std::string parsed(const std::string& text) {
  stack::State saved = stack::save();
  Cell* map = http::parse_headers(text.data(), text.size());
  Cell* out = string::make_at(stack::new_cell(), 64);
  actions::mold_direct(map, out, false, false, true, nullptr, INT_MAX, 0);
  std::string molded = string::to_std_string(out);
  stack::restore(saved);
  return molded;
}

TEST(HttpHeaders, ParsesTheLinesAServerSends) {
  testing::ensure_runtime();
  struct Case {
    const char* text;
    const char* map;
  } cases[] = {
      {"", "#[]"},
      {"A: 1\r\n", "#[A: \"1\"]"},
      // No blank after the colon, an empty value, blanks around the value.
      {"X-A:1\r\nX-B:\r\nX-C:   three  \r\n", "#[X-A: \"1\" X-B: \"\" X-C: \"three\"]"},
      // A header given twice or more: a block of its values in order.
      {"S: a\r\nT: t\r\nS: b\r\nS: c\r\n", "#[S: [\"a\" \"b\" \"c\"] T: \"t\"]"},
      // The last line without its line end, lines ended by LF alone.
      {"A: 1\nB: 2", "#[A: \"1\" B: \"2\"]"},
      // A line with no colon, or nothing before it, names nothing.
      {"junk\r\n: v\r\nA: 1\r\n", "#[A: \"1\"]"},
      // The value keeps its own colons; UTF-8 text is decoded.
      {"Location: http://h:80/\r\nX: \xC3\xA9\r\n", "#[Location: \"http://h:80/\" X: \"\xC3\xA9\"]"},
  };
  for (const Case& c : cases) EXPECT_EQ(parsed(c.text), c.map) << c.text;
}

}  // namespace
}  // namespace tav
