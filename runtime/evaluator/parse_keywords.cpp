// The parse dialect's keywords: those that act at once on the input, those that prepare a
// command governing the next rule, and the finishing of each command once its rule was tried.
#include "core/context.h"
#include "datatypes/block.h"
#include "datatypes/series.h"
#include "datatypes/simple.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "evaluator/parse_engine.h"
#include "core/words.h"

namespace tav::parse_detail {

namespace keyword_detail {

bool is_keyword(const Cell* c, Keyword kw) { return c->is(TYPE_WORD) && keyword_of(c) == kw; }

// The value a word rule names without raising: unset! when it has none or is a keyword.
Cell plain_word_value(const Cell* c) {
  Cell out = unset_value;
  if ((c->is(TYPE_WORD) || c->is(TYPE_GET_WORD)) && c->data1 != 0 &&
      static_cast<int32_t>(c->data3) >= 0 && !(c->is(TYPE_WORD) && keyword_of(c) != KW_NONE_))
    out = *context::get_word_value(c);
  return out;
}

// A position in the input series: same type and same buffer.
bool is_input_position(const Engine& e, const Cell* v) {
  return v->type() == e.input.type() && v->node() == e.input.node();
}

Cell input_at(const Engine& e, int32_t i) {
  Cell at = e.input;
  series::set_index(&at, i);
  return at;
}

// The value insert and change put in: a literal, a word's value, or a paren's value.
Cell take_value(Engine& e, const Cell* c) {
  Cell v = *c;
  if (is_any_path(v.type()) && !v.is(TYPE_LIT_PATH)) raise(e, "parse-rule", &v);
  if (v.is(TYPE_WORD)) {
    Cell w = v;
    Cell value = unset_value;
    if (w.data1 != 0 && static_cast<int32_t>(w.data3) >= 0) value = *context::get_word_value(&w);
    if (value.is(TYPE_UNSET)) raise(e, "no-value", &w);
    return value;
  }
  if (v.is(TYPE_PAREN)) {
    Cell r = eval_paren(e, &v);
    fire(e, &words::paren);
    return r;
  }
  return v;
}

// The newest collect frame below the frame starting at `below`, or -1.
int64_t collect_frame(const Engine& e, uint32_t below) {
  for (int64_t f = static_cast<int64_t>(below) - 3; f >= static_cast<int64_t>(e.rule_base);
       f -= 3) {
    auto fs = static_cast<uint32_t>(f);
    if (frame_is_command(fs) && slot(frame_cell(fs, 2), 0) == CMD_COLLECT) return f;
  }
  return -1;
}

// Puts one value (or, with splice, a block's values one by one) into a collect target.
void keep_value(Engine& e, uint32_t cf, const Cell* value, bool splice) {
  int32_t mode = slot(frame_cell(cf, 2), 1);
  Cell v = *value;
  Cell target = *frame_cell(cf, 0);
  TypeId tt = target.type();
  if (mode == COLLECT_PLAIN || mode == COLLECT_SET) {
    if (splice && is_any_block(v.type())) {
      block::append_from(&target, &v);
    } else {
      block::append_cell(&target, &v);
    }
    return;
  }
  if (tt != e.input.type() && !is_any_block(tt) && !is_any_string(tt) && tt != TYPE_BINARY &&
      tt != TYPE_VECTOR && tt != TYPE_IMAGE)
    raise(e, "parse-into-type");
  bool only = !(splice && is_any_block(v.type()));
  if (!is_any_string(tt)) {
    actions::append_direct(&target, &v, -1, only, 1);
    return;
  }
  // Text targets take the values in at the kept position, which moves past them.
  int32_t before = series::buffer_length(&target);
  actions::insert_direct(&target, &v, -1, only, 1);
  int32_t grown = series::buffer_length(&target) - before;
  Cell* param = frame_cell(cf, 0);
  series::set_index(param, series::index_of(param) + grown);
}

// The collect frame a keep goes to; parse-keep when there is none.
uint32_t keep_target(Engine& e, uint32_t below) {
  int64_t cf = collect_frame(e, below);
  if (cf < 0) raise(e, "parse-keep");
  return static_cast<uint32_t>(cf);
}

State prepare(Engine& e, int32_t code, int32_t min = 0, int32_t max = 0, int32_t extra = 0) {
  e.cmd_code = code;
  e.cmd_min = min;
  e.cmd_max = max;
  e.cmd_extra = extra;
  return ST_PUSH_COMMAND;
}

State insert(Engine& e, const Cell* word) {
  int32_t p = e.cursor + 1;
  bool only = false;
  const Cell* c = rule_at(e, p);
  if (c && is_keyword(c, KW_ONLY)) {
    only = true;
    c = rule_at(e, ++p);
  }
  if (!c) raise(e, "parse-end", word);
  Cell target = e.input;
  bool at_input = true;
  if ((c->is(TYPE_WORD) || c->is(TYPE_GET_WORD)) && rule_at(e, p + 1)) {
    Cell pos = plain_word_value(c);
    if (is_input_position(e, &pos)) {
      target = pos;
      at_input = false;
      c = rule_at(e, ++p);
    }
  }
  Cell v = take_value(e, c);
  int32_t before = input_length(e);
  int32_t where = series::index_of(&target);
  actions::insert_direct(&target, &v, -1, only, 1);
  int32_t grown = input_length(e) - before;
  // The input keeps standing on the unit it stood on.
  if (at_input || where <= input_index(e)) set_input_index(e, input_index(e) + grown);
  e.cursor = p;
  e.match = true;
  return ST_AFTER_RULE;
}

State remove(Engine& e, const Cell* word) {
  const Cell* c = rule_at(e, e.cursor + 1);
  if (!c) raise(e, "parse-end", word);
  if (c->is(TYPE_PATH)) raise(e, "parse-rule", c);
  Cell pos = plain_word_value(c);
  if (!is_input_position(e, &pos)) return prepare(e, CMD_REMOVE);
  int32_t a = input_index(e), b = series::index_of(&pos);
  int32_t len = input_length(e);
  b = b < 0 ? 0 : (b > len ? len : b);
  if (b < a) std::swap(a, b);
  if (b > a) {
    Cell at = input_at(e, a);
    Cell part;
    set_integer(&part, b - a);
    actions::remove_direct(&at, &part, nullptr);
  }
  set_input_index(e, a);
  e.cursor += 1;
  e.match = true;
  return ST_AFTER_RULE;
}

State into(Engine& e, const Cell* word) {
  const Cell* c = rule_at(e, e.cursor + 1);
  if (!c) raise(e, "parse-end", word);
  Cell rule = *c;
  if (rule.is(TYPE_WORD) && keyword_of(&rule) == KW_NONE_) rule = plain_word_value(&rule);
  if (!rule.is(TYPE_BLOCK)) raise(e, "parse-end", word);
  if (at_end(e)) {
    e.cursor += 1;
    e.match = false;
    return ST_AFTER_RULE;
  }
  Cell inner = unit_value(e, input_index(e));
  if (!is_any_block(inner.type())) raise(e, "parse-block", &inner);
  sync_input(e);
  push_series(e, &inner);
  e.input = inner;
  series::clamp_index(&e.input);
  return prepare(e, CMD_INTO);
}

State collect(Engine& e, const Cell* word) {
  const Cell* c = rule_at(e, e.cursor + 1);
  int32_t mode = COLLECT_PLAIN;
  if (c && c->is(TYPE_WORD)) {
    const Cell* target = rule_at(e, e.cursor + 2);
    Keyword kw = keyword_of(c);
    if (target && target->is(TYPE_WORD) &&
        (kw == KW_SET || kw == KW_INTO || kw == KW_AFTER)) {
      mode = kw == KW_SET ? COLLECT_SET : (kw == KW_INTO ? COLLECT_INTO : COLLECT_AFTER);
      if (mode != COLLECT_SET) {
        Cell series = plain_word_value(target);
        if (!is_series_type(series.type())) raise(e, "parse-into-bad");
        e.cmd_param = series;
      }
      e.cursor += 2;
    }
  }
  if (mode == COLLECT_PLAIN || mode == COLLECT_SET) block::make_at(&e.cmd_param, 8);
  (void)word;
  return prepare(e, CMD_COLLECT, 0, 0, mode);
}

State keep(Engine& e, const Cell* word) {
  uint32_t cf = keep_target(e, rule_tail(e));
  int32_t p = e.cursor + 1;
  bool pick = false;
  const Cell* c = rule_at(e, p);
  if (c && is_keyword(c, KW_PICK)) {
    pick = true;
    c = rule_at(e, ++p);
  }
  if (!c) raise(e, "parse-end", word);
  if (c->is(TYPE_PAREN)) {
    Cell paren = *c;
    Cell v = eval_paren(e, &paren);
    fire(e, &words::paren);
    keep_value(e, cf, &v, pick);
    e.cursor = p;
    e.match = true;
    return ST_AFTER_RULE;
  }
  e.cursor = p - 1;
  return prepare(e, CMD_KEEP, 0, 0, pick ? 1 : 0);
}

// ---- Finishing ----------------------------------------------------------------------------

// Answers true when the repetition goes on with another pass.
bool finish_repeat(Engine& e, int32_t code, Cell* param, Cell* pos) {
  int32_t min = slot(param, 0), max = slot(param, 1), counter = slot(param, 2);
  int32_t saved = slot(pos, 1), saved_rest = slot(pos, 2);
  int32_t idx = input_index(e), rest = input_length(e) - idx;
  // A pass that made no progress would repeat for ever: `while` counts any change of the
  // input's length as progress (it may insert), other repetitions only consuming.
  bool progress = code == CMD_WHILE ? (idx != saved || rest != saved_rest)
                                    : (idx != saved || rest < saved_rest);
  if (e.match && !e.brk && (max == -1 || counter < max) && progress) {
    set_slot(pos, 1, idx);
    set_slot(pos, 2, rest);
    set_slot(param, 2, counter + 1);
    e.cursor = slot(pos, 0);
    fire(e, &words::iterate);
    return true;
  }
  bool rejected = e.brk && !e.match;
  e.brk = false;
  if (rejected) {
    set_input_index(e, saved);
    e.match = false;
  } else if (e.match) {
    e.match = counter >= min;
  } else {
    set_input_index(e, saved);
    e.match = counter - 1 >= min || min == 0;
  }
  return false;
}

}  // namespace keyword_detail

State keyword(Engine& e, Keyword kw, const Cell* word_in) {
  using namespace keyword_detail;   // NOLINT
  Cell word = *word_in;
  switch (kw) {
    case KW_BAR:
      e.cursor = rules_tail(e) - 1;
      return ST_FETCH;
    case KW_SKIP:
      e.match = !at_end(e);
      return e.match ? ST_SKIP_ONE : ST_AFTER_RULE;
    case KW_ANY: return prepare(e, CMD_REPEAT, 0, -1);
    case KW_SOME: return prepare(e, CMD_REPEAT, 1, -1);
    case KW_OPT: return prepare(e, CMD_REPEAT, 0, 1);
    case KW_WHILE: return prepare(e, CMD_WHILE, 0, -1);
    case KW_COPY:
    case KW_SET: {
      const Cell* target = rule_at(e, e.cursor + 1);
      if (!target) raise(e, "parse-end", &word);
      if (!target->is(TYPE_WORD) && !target->is(TYPE_SET_WORD)) raise(e, "parse-rule", target);
      e.cmd_param = *target;
      e.cursor += 1;
      return prepare(e, kw == KW_COPY ? CMD_COPY : CMD_SET);
    }
    case KW_TO:
    case KW_THRU: {
      const Cell* next = rule_at(e, e.cursor + 1);
      if (next && is_keyword(next, KW_END)) {
        set_input_index(e, input_end(e));
        e.cursor += 1;
        e.match = true;
        return ST_AFTER_RULE;
      }
      return prepare(e, kw == KW_TO ? CMD_TO : CMD_THRU);
    }
    case KW_END:
      e.match = at_end(e);
      return ST_AFTER_RULE;
    case KW_NONE:
      e.match = true;
      return ST_AFTER_RULE;
    case KW_FAIL:
      e.match = false;
      return ST_AFTER_RULE;
    case KW_BREAK:
    case KW_REJECT:
      e.match = kw == KW_BREAK;
      e.brk = true;
      return ST_AFTER_RULE;
    case KW_NOT: return prepare(e, CMD_NOT);
    case KW_AHEAD: return prepare(e, CMD_AHEAD);
    case KW_INTO: return into(e, &word);
    case KW_INSERT: return insert(e, &word);
    case KW_CHANGE: {
      bool only = false;
      const Cell* next = rule_at(e, e.cursor + 1);
      if (next && is_keyword(next, KW_ONLY)) {
        only = true;
        e.cursor += 1;
      }
      return prepare(e, only ? CMD_CHANGE_ONLY : CMD_CHANGE);
    }
    case KW_REMOVE: return remove(e, &word);
    case KW_IF: {
      const Cell* next = rule_at(e, e.cursor + 1);
      if (!next) raise(e, "parse-end", &word);
      if (!next->is(TYPE_PAREN)) raise(e, "parse-rule", next);
      Cell paren = *next;
      Cell v = eval_paren(e, &paren);
      e.cursor += 1;
      e.match = is_true(&v);
      fire(e, &words::match);
      return ST_AFTER_RULE;
    }
    case KW_QUOTE: {
      const Cell* next = rule_at(e, e.cursor + 1);
      if (!next) raise(e, "parse-end", &word);
      e.cursor += 1;
      e.value = *next;
      return ST_MATCH_VALUE;
    }
    case KW_COLLECT: return collect(e, &word);
    case KW_KEEP: return keep(e, &word);
    case KW_CASE: {
      const Cell* next = rule_at(e, e.cursor + 1);
      if (!next) raise(e, "parse-end", &word);
      if (!next->is(TYPE_WORD)) raise(e, "parse-rule", next);
      Cell flag = word_value(e, next);
      int32_t previous = e.comp;
      e.comp = is_true(&flag) ? COMP_STRICT_EQUAL : COMP_EQUAL;
      e.cursor += 1;
      return prepare(e, CMD_CASE, previous);
    }
    default:
      raise(e, "parse-rule", &word);
  }
}

State finish_command(Engine& e) {
  using namespace keyword_detail;   // NOLINT
  uint32_t f = top_frame(e);
  Cell* param = frame_cell(f, 0);
  Cell* pos = frame_cell(f, 1);
  int32_t code = slot(frame_cell(f, 2), 0);
  int32_t extra = slot(frame_cell(f, 2), 1);
  int32_t rule_pos = slot(pos, 0);
  int32_t saved = slot(pos, 1);
  int32_t idx = input_index(e);
  switch (code) {
    case CMD_REPEAT:
    case CMD_WHILE: {
      if (finish_repeat(e, code, param, pos)) return ST_GOVERNED;
      break;
    }
    case CMD_TO:
    case CMD_THRU:
      if (e.match) {
        if (code == CMD_TO) set_input_index(e, saved);
      } else if (saved < input_end(e)) {
        // Try the rule again one unit further on.
        set_slot(pos, 1, saved + 1);
        set_input_index(e, saved + 1);
        e.cursor = rule_pos;
        return ST_GOVERNED;
      }
      break;
    case CMD_COPY:
      if (e.match) {
        Cell from = input_at(e, saved);
        Cell part, copy;
        set_integer(&part, idx - saved);
        Cell target = *param;
        actions::copy_direct(&from, &copy, &part, false, nullptr);
        set_word(&target, &copy);
      }
      break;
    case CMD_SET:
      if (e.match) {
        Cell v = idx > saved ? unit_value(e, saved) : none_value;
        Cell target = *param;
        set_word(&target, &v);
      }
      break;
    case CMD_NOT:
      e.match = !e.match;
      set_input_index(e, saved);
      break;
    case CMD_AHEAD:
      set_input_index(e, saved);
      break;
    case CMD_INTO: {
      bool whole = e.match && at_end(e) && e.reached_end;
      pop_series(e);
      if (whole) set_input_index(e, input_index(e) + 1);
      e.match = whole;
      break;
    }
    case CMD_REMOVE:
      if (e.match && idx > saved) {
        Cell at = input_at(e, saved);
        Cell part;
        set_integer(&part, idx - saved);
        actions::remove_direct(&at, &part, nullptr);
        set_input_index(e, saved);
      }
      break;
    case CMD_CHANGE:
    case CMD_CHANGE_ONLY: {
      const Cell* value = rule_at(e, e.cursor + 1);
      if (!value) {
        Cell w = words::change;
        raise(e, "parse-end", &w);
      }
      e.cursor += 1;
      if (e.match) {
        Cell v = take_value(e, value);
        int32_t before = input_length(e);
        Cell at = input_at(e, saved);
        actions::change_direct(&at, &v, idx - saved, code == CMD_CHANGE_ONLY, 1);
        set_input_index(e, idx + (input_length(e) - before));
      }
      break;
    }
    case CMD_KEEP:
      if (e.match) {
        uint32_t cf = keep_target(e, f);
        bool pick = extra != 0;
        Cell* governed = rule_at(e, rule_pos);
        if (governed && is_keyword(governed, KW_COPY) && rule_at(e, rule_pos + 1)) {
          Cell w = *rule_at(e, rule_pos + 1);
          w.set_type(TYPE_WORD);
          Cell v = *context::get_word_value(&w);
          keep_value(e, cf, &v, pick);
        } else if (idx - saved > 1 && !pick) {
          Cell from = input_at(e, saved);
          Cell part, copy;
          set_integer(&part, idx - saved);
          actions::copy_direct(&from, &copy, &part, false, nullptr);
          keep_value(e, cf, &copy, false);
        } else {
          for (int32_t i = saved; i < idx; ++i) {
            Cell v = unit_value(e, i);
            keep_value(e, cf, &v, false);
          }
        }
      }
      break;
    case CMD_COLLECT: {
      Cell collected = *param;
      if (extra == COLLECT_SET) {
        const Cell* target = rule_at(e, rule_pos - 1);
        Cell w = *target;
        set_word(&w, &collected);
      } else if (extra == COLLECT_PLAIN) {
        int64_t outer = collect_frame(e, f);
        if (outer < 0) {
          *stack::at_index(e.result_index) = collected;
          e.collected = true;
        } else {
          keep_value(e, static_cast<uint32_t>(outer), &collected, false);
        }
      }
      break;
    }
    case CMD_CASE:
      e.comp = slot(param, 0);
      break;
    default:
      break;
  }
  pop_frame(e);
  fire(e, &words::pop);
  return ST_AFTER_RULE;
}

}  // namespace tav::parse_detail
