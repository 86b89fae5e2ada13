#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/error_catalogue.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "test_runtime.h"

namespace tav {
namespace {

class Errors : public ::testing::Test {
 protected:
  void SetUp() override { testing::ensure_runtime(); }
};

Cell int_cell(int32_t v) {
  Cell c;
  set_integer(&c, v);
  return c;
}

// A string! value of Latin-1 text, for use as an argument.
Cell text_cell(const std::string& s) {
  NodeId n = alloc::new_series(static_cast<uint32_t>(s.size() + 1), 1, 0);
  SeriesBuffer* buf = node_buffer(n);
  std::memcpy(buf->head_ptr(), s.data(), s.size());
  buf->tail = buf->head + static_cast<uint32_t>(s.size());
  return make_cell(TYPE_STRING, 0, n);
}

Cell block_of_ints(int from, int count) {
  NodeId n = alloc::new_cells(static_cast<uint32_t>(count));
  SeriesBuffer* buf = node_buffer(n);
  for (int i = 0; i < count; i++) set_integer(buf->cells() + i, from + i);
  buf->tail = buf->head + static_cast<uint32_t>(count) * sizeof(Cell);
  return make_cell(TYPE_BLOCK, 0, n);
}

std::string first_line(const std::string& s) { return s.substr(0, s.find('\n')); }

// The error a raise left for the try frame that caught it.
Cell caught_error(void (*fn)()) {
  Cell err = make_cell(TYPE_NONE);
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  try {
    fn();
  } catch (const Unwind& u) {
    if (u.code == CODE_ERROR) err = *(stack::top - 1);
  }
  stack::restore(saved);
  return err;
}

TEST_F(Errors, CategoriesInOrderWithTitlesAndIdCounts) {
  struct Row { const char* name; const char* title; int ids; };
  const Row rows[] = {
      {"throw", "Throw Error", 5},        {"note", "note", 1},
      {"syntax", "Syntax Error", 7},      {"script", "Script Error", 94},
      {"math", "Math Error", 3},          {"access", "Access Error", 15},
      {"reserved1", "Reserved1 Error", 0}, {"reserved2", "Reserved2 Error", 0},
      {"user", "User Error", 1},          {"internal", "Internal Error", 14},
  };
  ASSERT_EQ(std::size(rows), size_t(error_catalogue::CATEGORY_COUNT));
  for (int c = 0; c < error_catalogue::CATEGORY_COUNT; c++) {
    const auto& cat = error_catalogue::category(c);
    EXPECT_EQ(cat.name, rows[c].name);
    EXPECT_EQ(cat.title, rows[c].title);
    EXPECT_EQ(cat.id_count, rows[c].ids) << rows[c].name;
    EXPECT_EQ(error_catalogue::category_index(rows[c].name), c);
  }
  EXPECT_EQ(error_catalogue::category_index("SCRIPT"), 3);
  EXPECT_EQ(error_catalogue::category_index("nope"), -1);
}

// Every entry forms with its title and with each slot replaced by the argument it names.
TEST_F(Errors, EveryMessageFormsWithItsArgumentsFilled) {
  Cell a1 = text_cell("first-arg"), a2 = text_cell("second-arg"), a3 = text_cell("third-arg");
  const char* shown[] = {"first-arg", "second-arg", "third-arg"};
  int entries = 0;
  for (int c = 0; c < error_catalogue::CATEGORY_COUNT; c++) {
    const auto& cat = error_catalogue::category(c);
    for (int k = 0; k < cat.id_count; k++) {
      const auto& id = cat.ids[k];
      std::string name(id.name);
      Cell err;
      error::create(static_cast<ErrorCategory>(c), name.c_str(), &a1, &a2, &a3, &err);
      ASSERT_EQ(error::code(&err), c * 100 + k) << name;
      std::string line = first_line(error::form(&err));
      std::string prefix = "*** " + std::string(cat.title) + ": ";
      ASSERT_EQ(line.substr(0, prefix.size()), prefix) << name;
      std::string message = line.substr(prefix.size());
      EXPECT_EQ(message.find(":arg"), std::string::npos) << name;
      ASSERT_GE(id.piece_count, 1) << name;
      std::string expected;
      for (int i = 0; i < id.piece_count; i++) {
        const auto& p = id.pieces[i];
        if (i > 0) expected += ' ';
        if (p.kind == error_catalogue::PieceKind::TEXT) {
          expected += p.text;
          continue;
        }
        int f = error_catalogue::field_index(p.text);
        ASSERT_GE(f, ERROR_ARG1) << name << " names " << p.text;
        ASSERT_LE(f, ERROR_ARG3) << name << " names " << p.text;
        std::string arg = shown[f - ERROR_ARG1];
        bool formed = c == ERR_SYNTAX || id.kind == error_catalogue::MessageKind::FIELD;
        expected += formed ? arg : "\"" + arg + "\"";
      }
      EXPECT_EQ(message, expected) << name;
      entries++;
    }
  }
  EXPECT_EQ(entries, 140);
}

TEST_F(Errors, SampleMessages) {
  Cell s = text_cell("abc"), i = int_cell(42), n = make_cell(TYPE_NONE), t;
  set_logic(&t, true);
  struct Row {
    ErrorCategory cat;
    const char* id;
    const Cell *a1, *a2, *a3;
    const char* line;
  };
  const Row rows[] = {
      {ERR_MATH, "zero-divide", nullptr, nullptr, nullptr,
       "*** Math Error: attempt to divide by zero"},
      {ERR_SCRIPT, "invalid-arg", &s, nullptr, nullptr,
       "*** Script Error: invalid argument: \"abc\""},
      {ERR_SCRIPT, "expect-val", &i, &t, nullptr, "*** Script Error: expected 42 not true"},
      {ERR_SCRIPT, "unset-path", &s, &i, nullptr, "*** Script Error: 42 is unset in path \"abc\""},
      {ERR_SYNTAX, "invalid", &s, &i, &n, "*** Syntax Error: abc invalid 42 at none"},
      {ERR_NOTE, "no-load", &i, nullptr, nullptr, "*** note: cannot load:  42"},
      {ERR_THROW, "throw", nullptr, nullptr, nullptr, "*** Throw Error: no catch for throw: none"},
      {ERR_ACCESS, "bad-media", nullptr, nullptr, nullptr,
       "*** Access Error: bad media data (corrupt image, sound, video)"},
      {ERR_INTERNAL, "not-here", &s, nullptr, nullptr,
       "*** Internal Error: \"abc\" not supported on your system"},
      {ERR_INTERNAL, "routines", nullptr, nullptr, nullptr,
       "*** Internal Error: routines require compilation, from OS shell: `tav -r <script.tav>`"},
  };
  for (const Row& r : rows) {
    Cell err;
    error::create(r.cat, r.id, r.a1, r.a2, r.a3, &err);
    EXPECT_EQ(first_line(error::form(&err)), r.line) << r.id;
  }
}

TEST_F(Errors, DivideByZeroReportsAsTheConsolePrintsIt) {
  Cell err = caught_error([] { error::raise(ERR_MATH, "zero-divide"); });
  ASSERT_TRUE(err.is(TYPE_ERROR));
  EXPECT_EQ(error::code(&err), 400);
  EXPECT_EQ(error::form(&err),
            "*** Math Error: attempt to divide by zero\n*** Where: ???\n*** Near : none\n"
            "*** Stack: ");
  std::string sunk;
  error::form_for_console(
      &err, [](const char* b, size_t n, void* ctx) { static_cast<std::string*>(ctx)->append(b, n); },
      &sunk);
  EXPECT_EQ(sunk, error::form(&err));
}

TEST_F(Errors, WhereNearStackAndFilesLines) {
  Cell err;
  error::create(ERR_MATH, "overflow", nullptr, nullptr, nullptr, &err);
  Cell where = text_cell("calc"), other = text_cell("later");
  error::set_where(&err, &where);
  error::set_where(&err, &other);   // only a none where is replaced
  *error::field(&err, ERROR_NEAR) = block_of_ints(1000, 20);
  *error::field(&err, ERROR_STACK) = block_of_ints(1, 3);
  *error::field(&err, ERROR_FILES) = block_of_ints(7, 1);
  EXPECT_EQ(error::form(&err),
            "*** Math Error: math or number overflow\n"
            "*** Where: calc\n"
            "*** Near : 1000 1001 1002 1003 1004 1005 1006 1007 \n"   // cut at 40 characters
            "*** Stack: 1 2 3\n"
            "*** Files: 7");
}

TEST_F(Errors, LongArgumentsAreCutAt80Characters) {
  Cell err, s = text_cell(std::string(100, 'x'));
  error::create(ERR_SCRIPT, "invalid-arg", &s, nullptr, nullptr, &err);
  EXPECT_EQ(first_line(error::form(&err)),
            "*** Script Error: invalid argument: {" + std::string(79, 'x'));   // a long string's mold
}

TEST_F(Errors, ArgumentsAreMoldedByTheirDatatypes) {
  Cell file = text_cell("a b.txt");
  file.set_type(TYPE_FILE);
  Cell tag = text_cell("a");
  tag.set_type(TYPE_TAG);
  Cell money = make_cell(TYPE_MONEY, 0, 0, 0);
  // A value its own former refuses (a date of month 13) is written by the small former
  // instead, and the report still comes out whole.
  Cell bad_date = make_cell(TYPE_DATE, (2000u << 17) | (13u << 12) | (1u << 7));
  const struct {
    Cell arg;
    const char* text;
  } rows[] = {{file, "%\"a b.txt\""}, {tag, "<a>"}, {money, "$0.00"}, {bad_date, "date!"}};
  for (const auto& r : rows) {
    Cell err;
    error::create(ERR_SCRIPT, "invalid-arg", &r.arg, nullptr, nullptr, &err);
    stack::push(&err);
    EXPECT_EQ(first_line(error::form(&err)),
              std::string("*** Script Error: invalid argument: ") + r.text);
    stack::pop(1);
  }
}

TEST_F(Errors, CodesNameTheirEntries) {
  struct Row { int32_t code; const char* category; const char* id; };
  const Row rows[] = {
      {0, "throw", "break"},          {4, "throw", "while-cond"},
      {100, "note", "no-load"},       {206, "syntax", "bad-char"},
      {301, "script", "need-value"},  {393, "script", "tb-invalid-record"},
      {402, "math", "positive"},      {514, "access", "invalid-cmd"},
      {800, "user", "message"},       {913, "internal", "deprecated"},
  };
  for (const Row& r : rows) {
    int c = -1, k = -1;
    ASSERT_TRUE(error_catalogue::split_code(r.code, &c, &k)) << r.code;
    EXPECT_EQ(error_catalogue::category(c).name, r.category);
    EXPECT_EQ(error_catalogue::category(c).ids[k].name, r.id);
    EXPECT_EQ(error_catalogue::code_of(c, error_catalogue::id_index(c, r.id)), r.code);
    Cell err;
    error::make_from_code(r.code, &err);
    EXPECT_EQ(error::code(&err), r.code);
    ASSERT_TRUE(error::field(&err, ERROR_TYPE)->is(TYPE_WORD));
    EXPECT_STREQ(symbol::get_c_string(error::field(&err, ERROR_TYPE)->data2), r.category);
    EXPECT_EQ(error::id_name(&err), r.id);
  }
}

TEST_F(Errors, CodesNamingNoEntryAreOutOfRange) {
  static int32_t code;
  for (int32_t bad : {399, 1000, -1, 5, 600, 701, 801, 914, 2147483647}) {
    code = bad;
    Cell err = caught_error([] {
      Cell out;
      error::make_from_code(code, &out);
    });
    ASSERT_TRUE(err.is(TYPE_ERROR)) << bad;
    EXPECT_EQ(error::code(&err), 341) << bad;
    EXPECT_EQ(error::field(&err, ERROR_ARG1)->int_value(), bad);
  }
}

TEST_F(Errors, UnknownIdBecomesInternalInvalidError) {
  Cell err;
  error::create(ERR_SCRIPT, "no-such-id", nullptr, nullptr, nullptr, &err);
  EXPECT_EQ(error::code(&err), 910);
  EXPECT_EQ(first_line(error::form(&err)),
            "*** Internal Error: invalid error object field value: \"no-such-id\"");
  // An id of another category is unknown in this one too.
  error::create(ERR_MATH, "no-value", nullptr, nullptr, nullptr, &err);
  EXPECT_EQ(error::code(&err), 910);
}

TEST_F(Errors, DamagedTypeOrIdFieldFormsAsInvalidError) {
  Cell err;
  error::create(ERR_MATH, "overflow", nullptr, nullptr, nullptr, &err);
  set_integer(error::field(&err, ERROR_ID), 77);
  EXPECT_EQ(first_line(error::form(&err)),
            "*** Internal Error: invalid error object field value: 77");
  EXPECT_EQ(error::code(&err), 910);   // the error itself now says so
  error::create(ERR_MATH, "overflow", nullptr, nullptr, nullptr, &err);
  set_integer(error::field(&err, ERROR_TYPE), 12);
  EXPECT_EQ(first_line(error::form(&err)),
            "*** Internal Error: invalid error object field value: 12");
}

TEST_F(Errors, UserMessageIsTheFirstArgument) {
  Cell err;
  error::make_from_text("boom", &err);
  EXPECT_EQ(error::code(&err), 800);
  EXPECT_EQ(error::form(&err), "*** User Error: boom\n*** Where: ???\n*** Near : none");
  // A user error whose first argument is no text is reported as invalid.
  Cell i = int_cell(5);
  error::create(ERR_USER, "message", &i, nullptr, nullptr, &err);
  EXPECT_EQ(first_line(error::form(&err)), "*** User Error: ");
  EXPECT_EQ(error::code(&err), 910);
}

TEST_F(Errors, ArgumentsAreCopiedIntoTheError) {
  Cell a = int_cell(1), b = text_cell("two");
  Cell err;
  error::create(ERR_SCRIPT, "not-same-class", &a, &b, nullptr, &err);
  set_integer(&a, 99);   // the caller's cell may change afterwards
  EXPECT_EQ(error::field(&err, ERROR_ARG1)->int_value(), 1);
  EXPECT_EQ(error::field(&err, ERROR_ARG2)->node(), b.node());
  EXPECT_TRUE(error::field(&err, ERROR_ARG3)->is(TYPE_NONE));
  EXPECT_EQ(first_line(error::form(&err)), "*** Script Error: cannot coerce 1 to \"two\"");
}

// The ids the rest of the runtime raises must all be in the catalogue.
TEST_F(Errors, IdsRaisedByTheRuntimeExist) {
  struct Row { ErrorCategory cat; const char* id; };
  const Row rows[] = {
      {ERR_THROW, "return"},           {ERR_THROW, "throw"},
      {ERR_THROW, "break"},            {ERR_THROW, "continue"},
      {ERR_SYNTAX, "invalid"},         {ERR_SYNTAX, "missing"},
      {ERR_SYNTAX, "malconstruct"},    {ERR_SYNTAX, "bad-char"},
      {ERR_SCRIPT, "no-value"},        {ERR_SCRIPT, "need-value"},
      {ERR_SCRIPT, "not-defined"},     {ERR_SCRIPT, "not-in-context"},
      {ERR_SCRIPT, "no-arg"},          {ERR_SCRIPT, "expect-arg"},
      {ERR_SCRIPT, "invalid-arg"},     {ERR_SCRIPT, "no-op-arg"},
      {ERR_SCRIPT, "not-same-class"},  {ERR_SCRIPT, "no-refine"},
      {ERR_SCRIPT, "bad-refine"},      {ERR_SCRIPT, "dup-refine"},
      {ERR_SCRIPT, "word-first"},      {ERR_SCRIPT, "empty-path"},
      {ERR_SCRIPT, "unset-path"},      {ERR_SCRIPT, "invalid-path"},
      {ERR_SCRIPT, "invalid-path-set"}, {ERR_SCRIPT, "invalid-path-get"},
      {ERR_SCRIPT, "out-of-range"},    {ERR_SCRIPT, "invalid-compare"},
      {ERR_SCRIPT, "invalid-char"},    {ERR_MATH, "zero-divide"},
      {ERR_MATH, "overflow"},          {ERR_ACCESS, "invalid-utf8"},
      {ERR_USER, "message"},           {ERR_INTERNAL, "no-memory"},
      {ERR_INTERNAL, "wrong-mem"},     {ERR_INTERNAL, "stack-overflow"},
      {ERR_INTERNAL, "too-deep"},      {ERR_INTERNAL, "no-cycle"},
      {ERR_INTERNAL, "not-done"},
  };
  for (const Row& r : rows) EXPECT_GE(error_catalogue::id_index(r.cat, r.id), 0) << r.id;
}

}  // namespace
}  // namespace tav
