// Functions, natives, actions and ops through Tavbin: decoded functions call and give the
// same results, shared and self-referring ones keep their structure, built-ins come back as
// the same table entries, and malformed records are refused.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/context.h"
#include "datatypes/function.h"
#include "runtime.h"
#include "scanner/tavbin.h"
#include "text_eval_fixture.h"

extern char** environ;

namespace tav::tavbin_function_test {

using Bytes = std::vector<uint8_t>;

Cell global_value(const char* name) { return *context::global_value_cell(symbol::make(name)); }

void eval_text(const std::string& code) {
  std::string result = texteval::eval_mold(code);
  ASSERT_EQ(result.rfind("error:", 0), std::string::npos) << code << ": " << result;
}

// Decodes a codec stream into a new block; answers the block.
Cell decode_block(const Bytes& bytes) {
  Cell target = make_cell(TYPE_BLOCK, 0, alloc::new_cells(4));
  tavbin::decode(bytes.data(), static_cast<int64_t>(bytes.size()), &target, true);
  return target;
}
Cell decode_one(const Bytes& bytes) {
  Cell blk = decode_block(bytes);
  EXPECT_EQ(node_buffer(blk.data2)->count(), 1u);
  return node_buffer(blk.data2)->cells()[0];
}
Cell cell_of(const Cell& blk, uint32_t i) { return node_buffer(blk.data2)->cells()[i]; }
Cell body_of(const Cell& fn) { return node_buffer(fn.data3)->cells()[function::MORE_BODY]; }

Cell block_of(std::initializer_list<Cell> cells) {
  NodeId n = alloc::new_cells(static_cast<uint32_t>(cells.size()));
  for (const Cell& c : cells) *series::buffer_new_tail_cell(n) = c;
  return make_cell(TYPE_BLOCK, 0, n);
}

std::string error_of(const Bytes& bytes) {
  return testing::error_id([&] { decode_block(bytes); });
}

// A compact stream of the given symbols and records.
Bytes stream(std::initializer_list<const char*> symbols, const Bytes& records) {
  Bytes b = {'T', 'A', 'V', 'B', 'I', 'N', 2, uint8_t(symbols.size() ? 5 : 1), 1,
             uint8_t(records.size())};
  if (symbols.size()) {
    Bytes strings;
    Bytes offsets;
    for (const char* s : symbols) {
      uint32_t off = static_cast<uint32_t>(strings.size());
      for (int i = 0; i < 4; i++) offsets.push_back(uint8_t(off >> (8 * i)));
      strings.insert(strings.end(), s, s + std::strlen(s) + 1);
    }
    b.push_back(uint8_t(symbols.size()));
    b.push_back(uint8_t(strings.size()));
    b.insert(b.end(), offsets.begin(), offsets.end());
    b.insert(b.end(), strings.begin(), strings.end());
  }
  b.insert(b.end(), records.begin(), records.end());
  return b;
}

class TavbinFunction : public texteval::TextEval {
 protected:
  void SetUp() override {
    TextEval::SetUp();
    saved_ = stack::save();
  }
  void TearDown() override { stack::restore(saved_); }
  stack::State saved_{};
};

// Each function is defined, called, encoded, decoded into the word's place and called again:
// the decoded one is a new function that gives the same results.
TEST_F(TavbinFunction, DecodedFunctionsCallAndGiveTheSameResults) {
  struct Case {
    const char* definition;
    std::vector<const char*> calls;
  };
  const Case cases[] = {
      {"f: func [a b /twice /plus n /local t] [t: a + b if twice [t: t * 2] if plus [t: t + n] t]",
       {"f 1 2", "f/twice 1 2", "f/plus 1 2 10", "f/plus/twice 1 2 10"}},
      {"f: function [n] [acc: n * 2 acc + 1]", {"f 5", "f -3"}},
      {"f: func [n] [either n < 2 [n] [(f n - 1) + (f n - 2)]]", {"f 10", "f 1"}},
      {"f: func [\"adds\" a [integer!] b [integer!] /local inner] [inner: [a b] inner]",
       {"f 1 2", "mold f 3 4"}},
      {"f: does [7]", {"f"}},
  };
  for (bool compact : {true, false}) {
    for (const Case& c : cases) {
      eval_text(c.definition);
      std::vector<std::string> before;
      for (const char* call : c.calls) before.push_back(texteval::eval_mold(call));
      Cell original = global_value("f");
      ASSERT_TRUE(original.is(TYPE_FUNCTION));
      Cell back = decode_one(tavbin::encode_bytes(&original, compact));
      ASSERT_TRUE(back.is(TYPE_FUNCTION)) << c.definition;
      EXPECT_NE(back.data1, original.data1);
      EXPECT_EQ(back.header, original.header);
      evaltest::set_global("f", back);
      for (size_t i = 0; i < c.calls.size(); i++)
        EXPECT_EQ(texteval::eval_mold(c.calls[i]), before[i]) << c.definition << ": " << c.calls[i];
    }
  }
}

TEST_F(TavbinFunction, ASharedFunctionStaysOneValue) {
  eval_text("f: func [x] [x * 3]");
  Cell f = global_value("f");
  Cell blk = block_of({f, f});
  for (bool compact : {true, false}) {
    Cell back = decode_one(tavbin::encode_bytes(&blk, compact));
    Cell a = cell_of(back, 0), b = cell_of(back, 1);
    ASSERT_TRUE(a.is(TYPE_FUNCTION));
    EXPECT_EQ(a.data1, b.data1);
    EXPECT_EQ(a.data3, b.data3);
    evaltest::set_global("g", b);
    EXPECT_EQ(texteval::eval_mold("g 4"), "12");
  }
}

TEST_F(TavbinFunction, AFunctionReferringToItselfThroughABlock) {
  eval_text("f: func [x] [[none] x]");
  Cell f = global_value("f");
  Cell inner = cell_of(body_of(f), 0);
  node_buffer(inner.data2)->cells()[0] = f;
  for (bool compact : {true, false}) {
    Cell back = decode_one(tavbin::encode_bytes(&f, compact));
    ASSERT_TRUE(back.is(TYPE_FUNCTION));
    Cell again = cell_of(cell_of(body_of(back), 0), 0);
    ASSERT_TRUE(again.is(TYPE_FUNCTION));
    EXPECT_EQ(again.data1, back.data1);
    evaltest::set_global("g", back);
    EXPECT_EQ(texteval::eval_mold("g 9"), "9");
  }
}

// References into a function's spec and body and into a built-in's spec come back as the
// same series.
TEST_F(TavbinFunction, PathsReachInsideSpecsAndBodies) {
  eval_text("f: func [x [integer!]] [[x 1] x]");
  Cell f = global_value("f");
  Cell iff = global_value("if");
  Cell spec_types = cell_of(make_cell(TYPE_BLOCK, 0, f.data2), 1);
  Cell body_inner = cell_of(body_of(f), 0);
  Cell if_types = cell_of(make_cell(TYPE_BLOCK, 0, iff.data2), 1);
  Cell if_spec = make_cell(TYPE_BLOCK, 0, iff.data2);
  Cell blk = block_of({f, iff, spec_types, body_inner, if_types, if_spec});
  for (bool compact : {true, false}) {
    Cell back = decode_one(tavbin::encode_bytes(&blk, compact));
    Cell f2 = cell_of(back, 0), if2 = cell_of(back, 1);
    EXPECT_EQ(cell_of(back, 2).data2, cell_of(make_cell(TYPE_BLOCK, 0, f2.data2), 1).data2);
    EXPECT_EQ(cell_of(back, 3).data2, cell_of(body_of(f2), 0).data2);
    EXPECT_EQ(cell_of(back, 4).data2, cell_of(make_cell(TYPE_BLOCK, 0, if2.data2), 1).data2);
    EXPECT_EQ(cell_of(back, 5).data2, if2.data2);
    // The body's words are bound to the decoded function.
    EXPECT_EQ(cell_of(cell_of(body_of(f2), 0), 0).data1, f2.data1);
  }
}

TEST_F(TavbinFunction, NativesActionsAndOpsComeBackAsTheSameBuiltIns) {
  Cell plus = global_value("+"), append = global_value("append"), iff = global_value("if");
  ASSERT_TRUE(plus.is(TYPE_OP));
  eval_text("tf: func [a b] [a * b]");
  Cell tf = global_value("tf");
  stack::mark_native(nullptr);
  set_unset(stack::new_cell());
  Cell proto = make_cell(TYPE_OP);
  Cell times = *native_type::make_op(&proto, &tf, TYPE_OP);
  stack::unwind_discard();
  Cell blk = block_of({plus, append, iff, times});
  for (bool compact : {true, false}) {
    Cell back = decode_one(tavbin::encode_bytes(&blk, compact));
    const Cell originals[] = {plus, append, iff};
    for (uint32_t i = 0; i < 3; i++) {
      Cell c = cell_of(back, i);
      EXPECT_EQ(c.header, originals[i].header) << i;
      EXPECT_EQ(c.data1, originals[i].data1) << i;
    }
    evaltest::set_global("plus2", cell_of(back, 0));
    evaltest::set_global("append2", cell_of(back, 1));
    evaltest::set_global("if2", cell_of(back, 2));
    evaltest::set_global("times2", cell_of(back, 3));
    EXPECT_EQ(texteval::eval_mold("1 plus2 2"), "3");
    EXPECT_EQ(texteval::eval_mold("append2 [1] 2"), "[1 2]");
    EXPECT_EQ(texteval::eval_mold("if2 true [5]"), "5");
    EXPECT_EQ(texteval::eval_mold("3 times2 4"), "12");
  }
}

TEST_F(TavbinFunction, AnOpMadeFromARoutineHasNoCodec) {
  Cell op = make_cell(TYPE_OP, 0, 0, 0);
  op.header |= uint32_t(TYPE_ROUTINE) << 16;
  EXPECT_EQ(testing::error_id([&] { tavbin::encode_bytes(&op, true); }), "no-codec");
}

// Boot mode: a root native leaves its spec after it; a function's words name it by root index.
TEST_F(TavbinFunction, BootModeDecodesBuiltInsAndFunctions) {
  uint32_t before = node_buffer(runtime::root_node)->count();
  Cell append = global_value("append");
  Bytes image = tavbin::encode_bytes(&append, true);
  uint32_t first = tavbin::load_boot(image.data(), image.size());
  ASSERT_EQ(node_buffer(runtime::root_node)->count(), before + 2);
  EXPECT_EQ(runtime::root_cell(first)->header, append.header);
  EXPECT_EQ(runtime::root_cell(first)->data1, append.data1);
  EXPECT_TRUE(runtime::root_cell(first + 1)->is(TYPE_BLOCK));
  EXPECT_EQ(runtime::root_cell(first + 1)->data2, runtime::root_cell(first)->data2);

  // func [a] [a]: the body's word is bound to the context of root cell 0, the function.
  Bytes fn = stream({"a"}, {0x18, 0x01, 0x01, 0x0E, 0x05, 0x01, 0x00,   // sizes, context [a]
                            0x05, 0x01, 0x0F, 0x00,                     // spec [a]
                            0x05, 0x01, 0x4F, 0x00, 0x00, 0x00});       // body [a], root 0, k 0
  fn[6] = 1;
  first = tavbin::load_boot(fn.data(), fn.size());
  Cell decoded = *runtime::root_cell(first);
  ASSERT_TRUE(decoded.is(TYPE_FUNCTION));
  evaltest::set_global("boot-f", decoded);
  EXPECT_EQ(texteval::eval_mold("boot-f 7"), "7");
  node_buffer(runtime::root_node)->tail = node_buffer(runtime::root_node)->head + before * sizeof(Cell);
}

TEST_F(TavbinFunction, MalformedRecordsAreRefused) {
  struct Case {
    const char* what;
    Bytes bytes;
    const char* id;
  };
  const Case cases[] = {
      {"native index 0", stream({}, {0x15, 0x00, 0x05, 0x00}), "tb-invalid-record"},
      {"native index 108", stream({}, {0x15, 0x6C, 0x05, 0x00}), "tb-invalid-record"},
      {"action index 63", stream({}, {0x16, 0x3F, 0x05, 0x00}), "tb-invalid-record"},
      {"action index of a dispatcher", stream({}, {0x16, 0x08, 0x05, 0x00}), "tb-invalid-record"},
      {"native spec not a block", stream({}, {0x15, 0x01, 0x85}), "tb-invalid-record"},
      {"op of an integer", stream({}, {0x17, 0x85}), "tb-invalid-record"},
      {"op of a native of one argument", stream({"a"}, {0x17, 0x15, 0x01, 0x05, 0x01, 0x0F, 0x00}),
       "tb-invalid-record"},
      {"function context that is not its spec's",
       stream({"a"}, {0x18, 0x01, 0x00, 0x0E, 0x05, 0x00, 0x05, 0x01, 0x0F, 0x00, 0x05, 0x00}),
       "tb-invalid-record"},
      {"function context of an object",
       stream({"a"}, {0x18, 0x01, 0x00, 0x0E, 0x02, 0x01, 0x00, 0x05, 0x01, 0x0F, 0x00, 0x05, 0x00}),
       "tb-invalid-record"},
      {"function body not a block",
       stream({}, {0x18, 0x00, 0x00, 0x0E, 0x05, 0x00, 0x05, 0x00, 0x07, 0x00}), "tb-invalid-record"},
      {"function spec that func refuses",
       stream({}, {0x18, 0x01, 0x00, 0x0E, 0x05, 0x00, 0x05, 0x01, 0x85, 0x05, 0x00}),
       "bad-func-def"},
      {"shared function onto an integer", stream({}, {0x05, 0x02, 0x85, 0xC1, 0x18, 0x02, 0x00, 0x00}),
       "tb-invalid-record"},
  };
  for (const Case& c : cases) EXPECT_EQ(error_of(c.bytes), c.id) << c.what;
}

// A failing decode leaves no half-made function behind.
TEST_F(TavbinFunction, AFunctionCutShortIsNotLeftCallable) {
  Bytes bytes = stream({"a"}, {0x18, 0x01, 0x01, 0x0E, 0x05, 0x01, 0x00, 0x05, 0x01, 0x0F, 0x00,
                               0x05, 0x01, 0xC5});
  Cell target = make_cell(TYPE_BLOCK, 0, alloc::new_cells(4));
  EXPECT_EQ(testing::error_id([&] {
              tavbin::decode(bytes.data(), static_cast<int64_t>(bytes.size()), &target, true);
            }),
            "tb-invalid-record");
  ASSERT_EQ(node_buffer(target.data2)->count(), 1u);
  EXPECT_TRUE(cell_of(target, 0).is(TYPE_NONE));
}

// The text road: start-up from the boot sources scanned as text evaluates as the image does.
TEST(TavbinBootText, StartsFromTheSourcesAsText) {
  const char* dir = std::getenv("TAV_TEST_BIN");
  if (!dir) GTEST_SKIP() << "TAV_TEST_BIN not set";
  std::string program = std::string(dir) + "/tav-eval";
  std::string list = std::string(dir) + "/../generated/boot-sources.txt";
  auto run = [&](const std::string& manifest, std::string* out) {
    int pipe_fds[2];
    EXPECT_EQ(pipe(pipe_fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    std::string e = "-e", code = "print [1 + 1 type? :append]", flag = "--boot-text";
    std::string m = manifest;
    char* argv[] = {program.data(), flag.data(), m.data(), e.data(), code.data(), nullptr};
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    EXPECT_EQ(spawned, 0);
    char chunk[4096];
    ssize_t n;
    while ((n = read(pipe_fds[0], chunk, sizeof chunk)) > 0) out->append(chunk, size_t(n));
    close(pipe_fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string out;
  EXPECT_EQ(run(list, &out), 0);
  EXPECT_EQ(out, "2 action\n");
  out.clear();
  EXPECT_EQ(run(list + ".missing", &out), 1);
  EXPECT_NE(out.find("cannot read"), std::string::npos) << out;
}

}  // namespace tav::tavbin_function_test
