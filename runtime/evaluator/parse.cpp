// The parse engine: the work stacks, the state loop, rule dispatch and the entry point.
#include "evaluator/parse.h"

#include <vector>

#include "core/context.h"
#include "datatypes/block.h"
#include "datatypes/series.h"
#include "datatypes/simple.h"
#include "core/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/parse_engine.h"
#include "init_steps.h"
#include "core/memory.h"
#include "runtime.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav {
namespace parse_detail {

namespace engine_state {
Cell* series_root = nullptr;
Cell* rule_root = nullptr;
// Keyword of each canonical symbol id (KW_NONE_ beyond the table).
std::vector<uint8_t> keywords;
std::vector<uint8_t> keyword_by_symbol;
}  // namespace engine_state

// ---- Work stacks ---------------------------------------------------------------------------

namespace engine_stacks {
inline uint32_t tail_of(const Cell* stack_cell) { return stack_tail(stack_cell); }
inline void truncate(Cell* stack_cell, uint32_t tail) {
  SeriesBuffer* b = cell_buffer(stack_cell);
  if (b->count() > tail) b->tail = b->head + tail * static_cast<uint32_t>(sizeof(Cell));
}
}  // namespace engine_stacks

void push_frame(Engine& e, const Cell* c1, const Cell* c2, const Cell* c3) {
  if (rule_tail(e) - e.rule_base + 3 > parse::STACK_LIMIT) raise(e, "parse-stack");
  Cell a = *c1, b = *c2, c = *c3;
  e.top_cmd = !a.is(TYPE_NONE);
  Cell* s = rule_stack_cell();
  SeriesBuffer* buf = cell_buffer(s);
  if (buf->room() >= 3 * sizeof(Cell)) {
    Cell* at = buf->cell_tail();
    at[0] = a;
    at[1] = b;
    at[2] = c;
    buf->tail += 3 * static_cast<uint32_t>(sizeof(Cell));
    return;
  }
  block::append_cell(s, &a);
  block::append_cell(s, &b);
  block::append_cell(s, &c);
}

void pop_frame(Engine& e) {
  Cell* s = rule_stack_cell();
  uint32_t tail = engine_stacks::tail_of(s) - 3;
  engine_stacks::truncate(s, tail);
  e.top_cmd = tail - e.rule_base >= 3 && frame_is_command(tail - 3);
}

void sync_input(Engine& e) {
  uint32_t tail = engine_stacks::tail_of(series_stack_cell());
  if (tail > e.series_base) *block::cell_at(series_stack_cell(), tail - 1) = e.input;
}

void push_series(Engine& e, const Cell* series) {
  if (series_depth(e) + 1 > parse::STACK_LIMIT) raise(e, "parse-stack");
  block::append_cell(series_stack_cell(), series);
}

void pop_series(Engine& e) {
  Cell* s = series_stack_cell();
  engine_stacks::truncate(s, engine_stacks::tail_of(s) - 1);
  e.input = *block::cell_at(s, engine_stacks::tail_of(s) - 1);
}

void reset_stacks(Engine& e) {
  Cell* ss = series_stack_cell();
  Cell* rs = rule_stack_cell();
  engine_stacks::truncate(ss, e.series_base);
  engine_stacks::truncate(rs, e.rule_base);
  if (e.nested) {
    // The marker below our view gives the outer run its view back.
    Cell* marker = block::cell_at(rs, e.rule_base - 1);
    ss->data1 = static_cast<uint32_t>(slot(marker, 0));
    rs->data1 = static_cast<uint32_t>(slot(marker, 1));
    engine_stacks::truncate(rs, e.rule_base - 1);
  } else {
    ss->data1 = e.series_base;
    rs->data1 = e.rule_base;
  }
  e.series_base = e.rule_base = RESET_DONE;
}

[[noreturn]] void raise(Engine& e, const char* id, const Cell* arg1) {
  Cell a;
  if (arg1) a = *arg1;
  reset_stacks(e);
  error::raise(ERR_SCRIPT, id, arg1 ? &a : nullptr);
}

// ---- Input ----------------------------------------------------------------------------------

Cell unit_value(const Engine& e, int32_t i) {
  Cell out;
  TypeId t = e.input.type();
  // Code in a paren may have shortened the input since position i was reached.
  if (i < 0 || i >= input_length(e)) {
    set_none(&out);
  } else if (is_any_block(t)) {
    out = *block::cell_at(&e.input, static_cast<uint32_t>(i));
  } else if (t == TYPE_BINARY) {
    set_integer(&out, *series::unit_at(&e.input, i));
  } else {
    set_char(&out, string::char_at(e.input.node(), static_cast<uint32_t>(i)));
  }
  return out;
}

// ---- Rules ----------------------------------------------------------------------------------

Keyword find_keyword(uint32_t symbol) {
  uint32_t canon = symbol::alias(symbol);
  const auto& k = engine_state::keywords;
  auto kw = canon < k.size() ? static_cast<Keyword>(k[canon]) : KW_NONE_;
  auto& cache = engine_state::keyword_by_symbol;
  if (symbol >= cache.size()) cache.resize(symbol + 1, KW_UNKNOWN);
  cache[symbol] = kw;
  return kw;
}

Cell word_value(Engine& e, const Cell* word) {
  if (word->data1 == 0 || static_cast<int32_t>(word->data3) < 0) raise(e, "parse-rule", word);
  Cell v = *context::get_word_value(word);
  if (v.is(TYPE_UNSET)) raise(e, "parse-rule", word);
  return v;
}

void set_word(const Cell* word, const Cell* value) {
  Cell w = *word;
  w.set_type(TYPE_WORD);
  Cell v = *value;
  context::set_word_value(&w, &v);
}

namespace engine_hide {
// Hides this run's series-stack entries while user code runs, and shows them again.
struct HiddenSeries {
  uint32_t saved;
  HiddenSeries() : saved(series_stack_cell()->data1) {
    series_stack_cell()->data1 = engine_stacks::tail_of(series_stack_cell());
  }
  ~HiddenSeries() { series_stack_cell()->data1 = saved; }
};
}  // namespace engine_hide

Cell eval_paren(Engine& e, const Cell* paren) {
  Cell code = *paren;
  Cell* top = stack::top;
  Status s;
  {
    engine_hide::HiddenSeries hidden;
    s = interp::eval_block(&code, false);
  }
  if (s != CODE_NONE) {
    // break, return or throw on their way out: the frames are already unwound.
    reset_stacks(e);
    stack::rethrow_status(s);
  }
  Cell v = *(stack::top - 1);
  stack::top = top;
  return v;
}

bool fire_hook(Engine& e, const Cell* event_word) {
  if (e.stopped) return false;
  Cell rule = e.rules;
  series::set_index(&rule, e.cursor < 0 ? 0 : e.cursor);
  Cell input = e.input;
  Cell stack = *rule_stack_cell();
  bool go;
  {
    engine_hide::HiddenSeries hidden;
    go = e.hook->fn(e.hook->ctx, event_word, e.match, &rule, &input, &stack);
  }
  if (!go) e.stopped = true;
  return go;
}

// ---- The state loop -------------------------------------------------------------------------

namespace engine_loop {

// A trace callback sees the rule stack and could change it: then the stack itself is asked.
bool top_is_command(const Engine& e) {
  if (!e.hook) return e.top_cmd;
  return frame_count(e) > 0 && frame_is_command(top_frame(e));
}

// The newest frame is a command governing the rule at the cursor.
bool governed(const Engine& e, int32_t* code) {
  if (!top_is_command(e)) return false;
  uint32_t f = top_frame(e);
  if (slot(frame_cell(f, 1), 0) != e.cursor) return false;
  *code = slot(frame_cell(f, 2), 0);
  return true;
}

void advance(Engine& e, int32_t n) { set_input_index(e, input_index(e) + n); }

State enter(Engine& e) {
  Cell pos = triple(e.cursor, input_index(e), input_length(e) - input_index(e));
  Cell enclosing = e.rules;
  Cell none = none_value;
  push_frame(e, &none, &pos, &enclosing);
  e.rules = e.value;
  e.cursor = series::index_of(&e.rules) - 1;
  e.match = true;
  fire(e, &words::push);
  return ST_FETCH;
}

State leave(Engine& e) {
  e.reached_end = e.cursor >= rules_tail(e);
  fire(e, &words::pop);
  if (frame_count(e) == 1) return ST_FINISH;
  uint32_t f = top_frame(e);
  e.cursor = slot(frame_cell(f, 1), 0);
  e.rules = *frame_cell(f, 2);
  pop_frame(e);
  return ST_AFTER_RULE;
}

// A repetition of one char! or bitset! over text or binary input, with no trace callback to
// tell of each pass: the units are matched in one loop, with the outcome the passes would
// have had (the input after the last unit matched; a match when there were enough of them).
// The cursor stands on the repetition's keyword or count; false when the rule after it is
// not such a value.
bool repeat_run(Engine& e, int32_t min, int32_t max) {
  const Cell* r = rule_at(e, e.cursor + 1);
  if (!r) return false;
  const Cell* v = r;
  if (r->is(TYPE_WORD)) {
    if (keyword_of(r) != KW_NONE_ || r->data1 == 0 || static_cast<int32_t>(r->data3) < 0)
      return false;
    v = context::get_word_value(r);
  }
  if (!runs_by_unit(e, v)) return false;
  // The limit the command frame of the passes would have met.
  if (rule_tail(e) - e.rule_base + 3 > parse::STACK_LIMIT) raise(e, "parse-stack");
  int32_t at = input_index(e);
  int32_t n = match_run(e, at, max, v);
  set_input_index(e, at + n);
  e.match = n >= min;
  e.cursor += 1;
  return true;
}

State push_command(Engine& e) {
  if (e.cmd_code == CMD_REPEAT && !e.hook && repeat_run(e, e.cmd_min, e.cmd_max))
    return ST_AFTER_RULE;
  Cell param;
  switch (e.cmd_code) {
    case CMD_COPY: case CMD_SET: case CMD_COLLECT: param = e.cmd_param; break;
    default: param = triple(e.cmd_min, e.cmd_max, 1); break;
  }
  Cell pos = triple(e.cursor + 1, input_index(e), input_length(e) - input_index(e));
  Cell code = make_cell(TYPE_PAIR, static_cast<uint32_t>(e.cmd_code),
                        static_cast<uint32_t>(e.cmd_extra));
  push_frame(e, &param, &pos, &code);
  e.cursor += 1;
  fire(e, &words::push);
  return ST_GOVERNED;
}

State governed_rule(Engine& e, const Cell* keyword_word) {
  Cell* r = rule_at(e, e.cursor);
  if (!r) raise(e, "parse-end", keyword_word);
  e.value = *r;
  e.value_from_word = false;
  return r->is(TYPE_BLOCK) ? ST_ENTER : ST_DISPATCH;
}

State fail_block(Engine& e) {
  uint32_t f = top_frame(e);
  set_input_index(e, slot(frame_cell(f, 1), 1));
  int32_t tail = rules_tail(e);
  for (int32_t p = e.cursor + 1; p < tail; ++p) {
    Cell* c = rule_at(e, p);
    if (c->is(TYPE_WORD) && keyword_of(c) == KW_BAR) {
      e.cursor = p;
      e.match = true;
      return ST_FETCH;
    }
  }
  return ST_LEAVE;
}

// The end of a block that a repetition governs, with no trace callback: when the repetition
// goes on, its next pass starts here, leaving the block frame in place with the input's new
// position, as finishing the pass and entering the block again would have done. False when
// the repetition stops (or the block is not a plain `any`/`some`/count over a literal block):
// the states finish it.
bool next_pass_in_place(Engine& e) {
  if (frame_count(e) < 2 || !e.match || e.brk) return false;
  uint32_t f = top_frame(e);
  uint32_t g = f - 3;
  if (!frame_is_command(g) || slot(frame_cell(g, 2), 0) != CMD_REPEAT) return false;
  Cell* param = frame_cell(g, 0);
  Cell* pos = frame_cell(g, 1);
  Cell* block_pos = frame_cell(f, 1);
  int32_t rule_pos = slot(pos, 0);
  if (slot(block_pos, 0) != rule_pos) return false;
  const Cell* enclosing = frame_cell(f, 2);
  SeriesBuffer* eb = cell_buffer(enclosing);
  if (rule_pos < 0 || static_cast<uint32_t>(rule_pos) >= eb->used() / sizeof(Cell)) return false;
  const Cell* r = eb->cells() + rule_pos;
  if (!r->is(TYPE_BLOCK)) return false;
  int32_t max = slot(param, 1), counter = slot(param, 2);
  if (max != -1 && counter >= max) return false;
  int32_t idx = input_index(e), rest = input_length(e) - idx;
  if (idx == slot(pos, 1) && rest >= slot(pos, 2)) return false;
  set_slot(pos, 1, idx);
  set_slot(pos, 2, rest);
  set_slot(param, 2, counter + 1);
  set_slot(block_pos, 1, idx);
  set_slot(block_pos, 2, rest);
  e.reached_end = true;
  e.value = *r;
  e.value_from_word = false;
  e.rules = *r;
  e.cursor = series::index_of(&e.rules) - 1;
  e.match = true;
  return true;
}

// A character, text, tag, bytes or bitset matched where it stands (a rule no command
// governs), as the value's dispatch would match it; false for any other value.
bool matches_in_place(Engine& e, const Cell* v) {
  switch (v->type()) {
    case TYPE_CHAR: case TYPE_BITSET: case TYPE_BINARY: break;
    default:
      if (!is_any_string(v->type())) return false;
  }
  Cell value = *v;
  int32_t n = match_at(e, input_index(e), &value);
  e.match = n >= 0;
  if (e.match) advance(e, n);
  return true;
}

// `to` or `thru` a character, text, tag, bytes or bitset (or a word holding one) on text or
// binary input, as the command's frame would run it: the input stops before or after the
// first match, and stays put when there is none. False for any other rule after the
// keyword: the command takes it.
bool search_in_place(Engine& e, bool thru) {
  const Cell* r = rule_at(e, e.cursor + 1);
  if (!r || is_any_block(e.input.type())) return false;
  const Cell* v = r;
  if (r->is(TYPE_WORD)) {
    if (keyword_of(r) != KW_NONE_ || r->data1 == 0 || static_cast<int32_t>(r->data3) < 0)
      return false;
    v = context::get_word_value(r);
  }
  switch (v->type()) {
    case TYPE_CHAR: case TYPE_BITSET: case TYPE_BINARY: break;
    default:
      if (!is_any_string(v->type())) return false;
  }
  // The limit the command's frame would have met.
  if (rule_tail(e) - e.rule_base + 3 > parse::STACK_LIMIT) raise(e, "parse-stack");
  Cell value = *v;
  int32_t len = 0;
  int32_t p = search(e, input_index(e), &value, &len);
  e.cursor += 1;
  e.match = p >= 0;
  if (e.match) set_input_index(e, thru ? p + len : p);
  return true;
}

// With no trace callback, the rules that need no frame of their own are run here, one after
// the other, without a round through the state loop each: a repetition of a char! or bitset!
// over text (`some letter`), `skip`, an alternative bar, a paren, a value matched in place
// and `to` or `thru` such a value. A failure goes on with the next alternative as the
// failure state would. The newest frame is this block's.
State fetch(Engine& e) {
  for (;;) {
    e.cursor += 1;
    int32_t tail = rules_tail(e);
    if (e.cursor >= tail) {
      e.cursor = tail;
      if (e.hook || e.top_cmd) return top_is_command(e) ? ST_FINISH_COMMAND : ST_LEAVE;
      if (next_pass_in_place(e)) continue;
      return ST_LEAVE;
    }
    fire(e, &words::fetch);
    const Cell* r = rule_at(e, e.cursor);
    if (e.hook || e.top_cmd) {
      e.value = *r;
      e.value_from_word = false;
      return ST_DISPATCH;
    }
    if (r->is(TYPE_WORD)) {
      switch (keyword_of(r)) {
        case KW_SOME:
          if (!repeat_run(e, 1, -1)) break;
          goto matched;
        case KW_ANY:
          if (!repeat_run(e, 0, -1)) break;
          goto matched;
        case KW_OPT:
          if (!repeat_run(e, 0, 1)) break;
          goto matched;
        case KW_SKIP:
          e.match = !at_end(e);
          if (e.match) advance(e, 1);
          goto matched;
        case KW_BAR:
          e.cursor = tail - 1;
          continue;
        case KW_TO:
        case KW_THRU:
          if (!search_in_place(e, keyword_of(r) == KW_THRU)) break;
          goto matched;
        case KW_NONE_:
          if (r->data1 == 0 || static_cast<int32_t>(r->data3) < 0) break;
          if (!matches_in_place(e, context::get_word_value(r))) break;
          goto matched;
        default:
          break;
      }
    } else if (r->is(TYPE_PAREN)) {
      Cell paren = *r;
      eval_paren(e, &paren);
      e.match = true;
      continue;
    }
    if (matches_in_place(e, r)) goto matched;
    e.value = *r;
    e.value_from_word = false;
    return ST_DISPATCH;
  matched:
    if (e.match) continue;
    State next = fail_block(e);
    if (next != ST_FETCH) return next;
  }
}

// A count or a range before a rule.
State count(Engine& e, const Cell* number) {
  int32_t first = number->int_value();
  int32_t second = first;
  Cell* next = rule_at(e, e.cursor + 1);
  if (!next) raise(e, "parse-rule", number);
  Cell nv = *next;
  if (nv.is(TYPE_WORD) && keyword_of(&nv) == KW_NONE_ && nv.data1 != 0 &&
      static_cast<int32_t>(nv.data3) >= 0)
    nv = *context::get_word_value(&nv);
  if (nv.is(TYPE_INTEGER)) {
    second = nv.int_value();
    e.cursor += 1;
    if (!rule_at(e, e.cursor + 1)) raise(e, "parse-rule", number);
    if (second < 0) raise(e, "out-of-range", &nv);
  }
  // A negative count alone is out of range as well: there is no meaning to repeat it.
  if (first < 0) raise(e, "out-of-range", number);
  if (first > second) raise(e, "parse-rule", number);
  if (second == 0) {
    e.cursor += 1;   // the rule is not applied
    e.match = true;
    return ST_AFTER_RULE;
  }
  e.cmd_code = CMD_REPEAT;
  e.cmd_min = first;
  e.cmd_max = second;
  e.cmd_extra = 0;
  return ST_PUSH_COMMAND;
}

State dispatch(Engine& e, Cell* keyword_word) {
  Cell v = e.value;
  switch (v.type()) {
    case TYPE_WORD: {
      if (!e.value_from_word) {
        Keyword kw = keyword_of(&v);
        if (kw != KW_NONE_ && kw != KW_PICK && kw != KW_ONLY && kw != KW_AFTER) {
          *keyword_word = v;
          return ST_KEYWORD;
        }
        Cell value = word_value(e, &v);
        if (value.is(TYPE_WORD)) {
          int32_t code;
          if (governed(e, &code) && code != CMD_COLLECT && code != CMD_KEEP &&
              code != CMD_KEEP_PAREN) {
            e.value = value;
            return ST_MATCH_VALUE;
          }
          raise(e, "parse-rule", &v);
        }
        e.value = value;
        e.value_from_word = true;
        return ST_DISPATCH;
      }
      raise(e, "parse-rule", &v);
    }
    case TYPE_BLOCK:
      return ST_ENTER;
    case TYPE_SET_WORD: {
      set_word(&v, &e.input);
      return ST_AFTER_RULE;
    }
    case TYPE_GET_WORD: {
      Cell w = v;
      w.set_type(TYPE_WORD);
      Cell pos = word_value(e, &w);
      if (!is_series_type(pos.type()) || pos.node() != e.input.node())
        raise(e, "parse-invalid-ref", &pos);
      int32_t i = series::index_of(&pos);
      int32_t len = input_length(e);
      set_input_index(e, i < 0 ? 0 : (i > len ? len : i));
      e.match = true;
      return ST_AFTER_RULE;
    }
    case TYPE_INTEGER:
      return count(e, &v);
    case TYPE_PAREN: {
      eval_paren(e, &v);
      fire(e, &words::paren);
      e.match = true;
      return ST_AFTER_RULE;
    }
    case TYPE_DATATYPE:
    case TYPE_TYPESET: {
      int32_t n = match_type_at(e, input_index(e), &v);
      e.match = n >= 0;
      if (e.match) advance(e, n);
      fire(e, &words::match);
      return ST_AFTER_RULE;
    }
    case TYPE_PATH:
      raise(e, "parse-rule", &v);
    default:
      return ST_MATCH_VALUE;
  }
}

State match_value(Engine& e) {
  int32_t code;
  if (governed(e, &code) && (code == CMD_TO || code == CMD_THRU)) {
    // A single value searched for: scan for it instead of retrying the rule per position.
    int32_t len = 0;
    int32_t p = search(e, input_index(e), &e.value, &len);
    Cell* pos = frame_cell(top_frame(e), 1);
    if (p >= 0) {
      set_slot(pos, 1, p);
      set_input_index(e, p + len);
      e.match = true;
    } else {
      set_slot(pos, 1, input_end(e));
      e.match = false;
    }
  } else {
    int32_t n = match_at(e, input_index(e), &e.value);
    e.match = n >= 0;
    if (e.match) advance(e, n);
  }
  fire(e, &words::match);
  return ST_AFTER_RULE;
}

State finish(Engine& e) {
  e.match = e.match && e.reached_end;
  if (e.match && input_index(e) < input_end(e) && series_depth(e) == 1) e.match = false;
  e.brk = false;
  fire(e, &words::end);
  return ST_STOP;
}

void drive(Engine& e) {
  State st = ST_ENTER;
  Cell keyword_word{};
  while (st != ST_STOP && !e.stopped) {
    switch (st) {
      case ST_ENTER: st = enter(e); break;
      case ST_LEAVE: st = leave(e); break;
      case ST_PUSH_COMMAND: st = push_command(e); break;
      case ST_FINISH_COMMAND: st = finish_command(e); break;
      case ST_AFTER_RULE:
        if (top_is_command(e)) st = ST_FINISH_COMMAND;
        else if (e.brk) st = ST_LEAVE;
        else st = e.match ? ST_FETCH : ST_FAIL_BLOCK;
        break;
      case ST_DISPATCH: st = dispatch(e, &keyword_word); break;
      case ST_SKIP_ONE: advance(e, 1); st = ST_AFTER_RULE; break;
      case ST_FETCH: st = fetch(e); break;
      case ST_MATCH_VALUE: st = match_value(e); break;
      case ST_GOVERNED: st = governed_rule(e, &keyword_word); break;
      case ST_FAIL_BLOCK: st = fail_block(e); break;
      case ST_KEYWORD: st = keyword(e, keyword_of(&keyword_word), &keyword_word); break;
      case ST_FINISH: st = finish(e); break;
      case ST_STOP: break;
    }
  }
}

// The view of the stacks this run works on: a run started while another is active puts a
// marker with the outer view on the rule stack and starts above it.
void open_view(Engine& e) {
  Cell* ss = series_stack_cell();
  Cell* rs = rule_stack_cell();
  uint32_t rtail = engine_stacks::tail_of(rs);
  if (rtail > rs->data1) {
    Cell marker = triple(static_cast<int32_t>(ss->data1), static_cast<int32_t>(rs->data1), -1);
    block::append_cell(rs, &marker);
    rs->data1 = engine_stacks::tail_of(rs);
    ss->data1 = engine_stacks::tail_of(ss);
    e.nested = true;
  }
  e.series_base = ss->data1;
  e.rule_base = rs->data1;
}

}  // namespace engine_loop

}  // namespace parse_detail

namespace parse {

const Cell* series_stack() { return parse_detail::series_stack_cell(); }
const Cell* rule_stack() { return parse_detail::rule_stack_cell(); }

Cell* run(const Cell* input, const Cell* rules, bool case_, const Cell* part,
          const TraceHook* hook) {
  using namespace parse_detail;   // NOLINT
  Engine e{};
  Cell* result = set_none(stack::new_cell());
  e.result_index = stack::index_of(result);
  e.hook = hook;
  e.comp = case_ ? COMP_STRICT_EQUAL : COMP_EQUAL;
  e.input = *input;
  e.limit = -1;
  series::clamp_index(&e.input);
  e.rules = *rules;
  e.cursor = series::index_of(&e.rules) - 1;
  e.value = *rules;
  if (part && !part->is(TYPE_NONE)) {
    int32_t n = series::part_count(&e.input, part);
    int64_t at = int64_t(series::index_of(&e.input)) + (n < 0 ? 0 : n);
    e.limit = static_cast<int32_t>(at > INT32_MAX ? INT32_MAX : at);
  }
  engine_loop::open_view(e);
  try {
    push_series(e, &e.input);
    engine_loop::drive(e);
  } catch (...) {
    if (e.rule_base != RESET_DONE) reset_stacks(e);
    throw;
  }
  reset_stacks(e);
  result = stack::at_index(e.result_index);
  if (!e.collected) set_logic(result, e.match);
  stack::top = result + 1;
  return result;
}

}  // namespace parse

namespace init_steps {

void parse_engine() {
  using namespace parse_detail;   // NOLINT
  Cell blk;
  block::make_at(&blk, 8);
  engine_state::series_root = runtime::root_append(&blk);
  block::make_at(&blk, 100);
  engine_state::rule_root = runtime::root_append(&blk);
  const std::pair<uint32_t, Keyword> table[] = {
      {symbols::bar, KW_BAR},       {symbols::skip, KW_SKIP},     {symbols::any, KW_ANY},
      {symbols::some, KW_SOME},     {symbols::copy, KW_COPY},     {symbols::to, KW_TO},
      {symbols::thru, KW_THRU},     {symbols::end, KW_END},       {symbols::remove, KW_REMOVE},
      {symbols::break_, KW_BREAK},  {symbols::opt, KW_OPT},       {symbols::keep, KW_KEEP},
      {symbols::pick, KW_PICK},     {symbols::fail, KW_FAIL},     {symbols::ahead, KW_AHEAD},
      {symbols::while_, KW_WHILE},  {symbols::into, KW_INTO},     {symbols::insert, KW_INSERT},
      {symbols::only, KW_ONLY},     {words::change.data2, KW_CHANGE}, {symbols::if_, KW_IF},
      {symbols::not_, KW_NOT},      {symbols::quote, KW_QUOTE},   {symbols::collect, KW_COLLECT},
      {symbols::after, KW_AFTER},   {symbols::set, KW_SET},       {symbols::case_, KW_CASE},
      {symbols::reject, KW_REJECT}, {symbols::none, KW_NONE},
  };
  auto& k = engine_state::keywords;
  for (const auto& [sym, kw] : table) {
    uint32_t canon = symbol::alias(sym);
    if (canon >= k.size()) k.resize(canon + 1, KW_NONE_);
    k[canon] = kw;
  }
}

}  // namespace init_steps
}  // namespace tav
