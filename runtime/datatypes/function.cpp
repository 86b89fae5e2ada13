#include "datatypes/function.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "core/context.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/evaluator_door.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::function {

namespace function_detail {

inline Cell* cells(NodeId n) { return node_buffer(n)->cells(); }
inline uint32_t count(NodeId n) { return node_buffer(n)->count(); }
inline bool same_name(const Cell* a, const Cell* b) {
  return symbol::alias(a->data2) == symbol::alias(b->data2);
}
inline bool is_named(const Cell* c, uint32_t sym) {
  return symbol::alias(c->data2) == symbol::alias(sym);
}
inline bool word_like(TypeId t) {
  return t == TYPE_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD || t == TYPE_REFINEMENT;
}

[[noreturn]] void bad_spec(const Cell* spec) { error::raise(ERR_SCRIPT, "bad-func-def", spec); }

void check_type_block(const Cell* types) {
  NodeId n = types->node();
  for (uint32_t i = types->index(); i < count(n); ++i) {
    Cell c = cells(n)[i];
    Cell v = c;
    if (c.is(TYPE_WORD)) {
      v = *evaluator_door::get_word(&c);
      if (v.is(TYPE_UNSET)) error::raise(ERR_SCRIPT, "no-value", &c);
    }
    if (!v.is(TYPE_DATATYPE) && !v.is(TYPE_TYPESET) && !v.is(TYPE_WORD))
      error::raise(ERR_SCRIPT, "invalid-type-spec", &c);
  }
}

}  // namespace function_detail

uint32_t check_spec(const Cell* spec) {
  using namespace function_detail;
  const uint32_t local_sym = refinements::local.data2;
  const uint32_t return_sym = symbols::return_;
  const uint32_t trace_sym = symbols::trace;
  const uint32_t no_trace_sym = symbols::no_trace;
  NodeId n = spec->node();
  uint32_t start = spec->index(), end = count(n);
  uint32_t flags = 0;
  uint32_t i = start;
  if (i < end && cells(n)[i].is(TYPE_BLOCK)) {
    Cell attrs = cells(n)[i];
    for (uint32_t k = attrs.index(); k < count(attrs.node()); ++k) {
      const Cell* a = cells(attrs.node()) + k;
      if (!a->is(TYPE_WORD)) bad_spec(spec);
      if (is_named(a, trace_sym)) flags |= FLAG_TRACE;
      if (is_named(a, no_trace_sym)) flags |= FLAG_NO_TRACE;
    }
    ++i;
  }
  bool in_locals = false, seen_return = false;
  for (; i < end; ++i) {
    Cell c = cells(n)[i];
    bool has_next = i + 1 < end;
    Cell next = has_next ? cells(n)[i + 1] : make_cell(TYPE_NONE_ID);
    switch (c.type()) {
      case TYPE_WORD:
      case TYPE_LIT_WORD:
      case TYPE_GET_WORD:
        if (in_locals && !c.is(TYPE_WORD)) bad_spec(spec);
        if (seen_return && !in_locals) bad_spec(spec);
        if (next.is(TYPE_STRING) && i + 2 < end && cells(n)[i + 2].is(TYPE_BLOCK)) bad_spec(spec);
        if (next.is(TYPE_BLOCK)) {
          check_type_block(&next);
          ++i;
        }
        break;
      case TYPE_SET_WORD: {
        if (!is_named(&c, return_sym) || seen_return || in_locals) bad_spec(spec);
        seen_return = true;
        if (!next.is(TYPE_BLOCK)) bad_spec(spec);
        ++i;
        if (i + 1 < end) {
          TypeId after = cells(n)[i + 1].type();
          if (after != TYPE_REFINEMENT && after != TYPE_STRING) bad_spec(spec);
        }
        break;
      }
      case TYPE_REFINEMENT: {
        bool is_local = is_named(&c, local_sym);
        if (!is_local && (in_locals || seen_return)) bad_spec(spec);
        if (is_local) in_locals = true;
        if (has_next) {
          TypeId t = next.type();
          if (t != TYPE_WORD && t != TYPE_GET_WORD && t != TYPE_LIT_WORD &&
              t != TYPE_REFINEMENT && t != TYPE_SET_WORD && t != TYPE_STRING)
            bad_spec(spec);
        }
        break;
      }
      case TYPE_STRING:
        break;
      default:
        bad_spec(spec);
    }
  }
  // The same name twice, whatever its kind.
  for (uint32_t a = start; a < end; ++a) {
    const Cell* x = cells(n) + a;
    if (!word_like(x->type())) continue;
    for (uint32_t b = a + 1; b < end; ++b) {
      const Cell* y = cells(n) + b;
      if (word_like(y->type()) && same_name(x, y)) {
        Cell dup = *y;
        error::raise(ERR_SCRIPT, "dup-vars", &dup);
      }
    }
  }
  return flags;
}

NodeId copy_deep(const Cell* block) {
  using namespace function_detail;
  // Copies are made with an explicit work list; a block met again reuses its copy.
  std::unordered_map<NodeId, NodeId> copies;
  std::vector<NodeId> work;
  auto copy_of = [&](NodeId src) {
    auto it = copies.find(src);
    if (it != copies.end()) return it->second;
    NodeId dst = series::copy_part(src, 0, count(src));
    copies.emplace(src, dst);
    work.push_back(dst);
    return dst;
  };
  NodeId top = copy_of(block->node());
  while (!work.empty()) {
    NodeId n = work.back();
    work.pop_back();
    for (uint32_t i = 0; i < count(n); ++i) {
      Cell c = cells(n)[i];
      if (is_any_block(c.type()) && c.type() != TYPE_HASH) {
        NodeId d = copy_of(c.node());
        cells(n)[i].data2 = d;
      }
    }
  }
  return top;
}

NodeId push(const Cell* spec_in, const Cell* body_in, uint32_t flags) {
  using namespace function_detail;
  Cell spec = *spec_in;
  Cell body = body_in ? *body_in : make_cell(TYPE_NONE);
  // Everything made here stays reachable from the stack while the rest is allocated.
  Cell* keep = stack::push(&spec);
  stack::push(&body);
  if (spec.index() != 0) {
    uint32_t from = std::min(spec.index(), count(spec.node()));
    keep[0] = make_cell(TYPE_BLOCK, 0, series::copy_part(spec.node(), from, count(spec.node()) - from));
  }
  NodeId spec_node = keep[0].node();
  NodeId more = alloc::new_cells(MORE_CELLS);
  Cell more_cell = make_cell(TYPE_BLOCK, 0, more);
  stack::push(&more_cell);
  Cell spec_block = make_cell(TYPE_BLOCK, 0, spec_node);
  NodeId ctx = context::make_from_spec(&spec_block, context::KIND_FUNCTION, true);
  Cell fn = make_cell(TYPE_FUNCTION, ctx, spec_node, more);
  fn.header |= flags & (FLAG_TRACE | FLAG_NO_TRACE);
  cells(ctx)[1] = fn;
  Cell kept_body = make_cell(TYPE_NONE);
  if (keep[1].is(TYPE_BLOCK)) {
    Cell b = keep[1];
    uint32_t idx = std::min(b.index(), count(b.node()));
    Cell from = make_cell(TYPE_BLOCK, 0, series::copy_part(b.node(), idx, count(b.node()) - idx));
    kept_body = make_cell(TYPE_BLOCK, 0, copy_deep(&from));
    context::bind_block(&kept_body, ctx);
  }
  SeriesBuffer* mb = node_buffer(more);
  mb->tail = mb->head + MORE_CELLS * sizeof(Cell);
  Cell* m = mb->cells();
  m[MORE_BODY] = kept_body;
  set_unset(&m[MORE_CACHE]);
  set_unset(&m[MORE_CODE]);
  set_unset(&m[MORE_OP_SELF]);
  set_unset(&m[MORE_OWNER]);
  stack::top = keep;
  stack::push(&fn);
  return ctx;
}

void collect_locals(Cell* spec, const Cell* body) {
  using namespace function_detail;
  const uint32_t extern_sym = refinements::extern_.data2;
  const uint32_t local_sym = refinements::local.data2;
  const uint32_t repeat_sym = symbols::repeat;
  const uint32_t foreach_sym = symbols::foreach;
  const uint32_t remove_each_sym = symbols::remove_each;
  NodeId sn = spec->node();
  std::vector<uint32_t> ignore;   // canonical ids that never become locals
  std::vector<Cell> found;
  bool has_local = false;
  uint32_t extern_at = count(sn);
  for (uint32_t i = spec->index(); i < count(sn); ++i) {
    const Cell* c = cells(sn) + i;
    if (c->is(TYPE_REFINEMENT) && is_named(c, extern_sym) && extern_at == count(sn)) extern_at = i;
    if (c->is(TYPE_REFINEMENT) && is_named(c, local_sym)) has_local = true;
  }
  bool after_extern_local = false;
  for (uint32_t i = spec->index(); i < count(sn); ++i) {
    Cell c = cells(sn)[i];
    if (i > extern_at) {
      if (c.is(TYPE_REFINEMENT) && is_named(&c, local_sym)) {
        after_extern_local = true;
        continue;
      }
      if (after_extern_local && c.is(TYPE_WORD)) {
        found.push_back(c);
        ignore.push_back(symbol::alias(c.data2));
        continue;
      }
      if (!c.is(TYPE_WORD) && !c.is(TYPE_BLOCK) && !c.is(TYPE_STRING))
        error::raise(ERR_SCRIPT, "bad-func-extern", &c);
    }
    if (is_any_word(c.type())) ignore.push_back(symbol::alias(c.data2));
  }
  if (extern_at < count(sn)) {
    node_buffer(sn)->tail = node_buffer(sn)->head + extern_at * sizeof(Cell);
    has_local = false;
    for (uint32_t i = spec->index(); i < count(sn); ++i)
      if (cells(sn)[i].is(TYPE_REFINEMENT) && is_named(cells(sn) + i, local_sym)) has_local = true;
  }
  auto note = [&](const Cell* w) {
    uint32_t canon = symbol::alias(w->data2);
    for (uint32_t x : ignore)
      if (x == canon) return;
    ignore.push_back(canon);
    Cell plain = *w;
    plain.header = TYPE_WORD;
    found.push_back(plain);
  };
  std::vector<NodeId> work{body->node()};
  std::vector<NodeId> seen;
  while (!work.empty()) {
    NodeId n = work.back();
    work.pop_back();
    bool again = false;
    for (NodeId s : seen) again = again || s == n;
    if (again) continue;
    seen.push_back(n);
    for (uint32_t i = 0; i < count(n); ++i) {
      Cell c = cells(n)[i];
      if (c.is(TYPE_SET_WORD)) note(&c);
      if (c.is(TYPE_WORD) && i + 1 < count(n)) {
        Cell next = cells(n)[i + 1];
        bool loop_word = is_named(&c, repeat_sym) || is_named(&c, foreach_sym) ||
                         is_named(&c, remove_each_sym);
        if (loop_word && (next.is(TYPE_WORD) || next.is(TYPE_SET_WORD))) note(&next);
        if (!is_named(&c, repeat_sym) && loop_word && next.is(TYPE_BLOCK)) {
          for (uint32_t k = next.index(); k < count(next.node()); ++k) {
            Cell w = cells(next.node())[k];
            if (w.is(TYPE_WORD) || w.is(TYPE_GET_WORD) || w.is(TYPE_LIT_WORD)) note(&w);
          }
        }
      }
      if (c.is(TYPE_BLOCK) || c.is(TYPE_PAREN)) work.push_back(c.node());
    }
  }
  // `local` itself never becomes a local word.
  std::vector<Cell> keep;
  for (const Cell& w : found)
    if (!is_named(&w, local_sym)) keep.push_back(w);
  if (keep.empty()) return;
  if (!has_local) {
    Cell* r = series::buffer_new_tail_cell(sn);
    *r = refinements::local;
  }
  for (const Cell& w : keep) *series::buffer_new_tail_cell(sn) = w;
}

Cell* make(Cell* proto, Cell* spec, int type) {
  (void)proto;
  (void)type;
  using namespace function_detail;
  if (!spec->is(TYPE_BLOCK) || count(spec->node()) < spec->index() + 2) bad_spec(spec);
  Cell s = cells(spec->node())[spec->index()];
  Cell b = cells(spec->node())[spec->index() + 1];
  if (!s.is(TYPE_BLOCK) || !b.is(TYPE_BLOCK)) bad_spec(spec);
  uint32_t flags = check_spec(&s);
  push(&s, &b, flags);
  return stack::top - 1;
}

Cell* reflect(Cell* value, uint32_t field_symbol) {
  using namespace function_detail;
  uint32_t field = symbol::alias(field_symbol);
  Cell* out = stack::base;
  if (field == symbol::alias(symbols::spec)) {
    *out = make_cell(TYPE_BLOCK, 0, value->data2);
  } else if (field == symbol::alias(symbols::body)) {
    *out = cells(value->data3)[MORE_BODY];
  } else if (field == symbol::alias(symbols::words_)) {
    NodeId ctx = value->data1;
    NodeId words = context::words_of(ctx);
    NodeId copy = series::copy_part(words, 0, count(words));
    for (uint32_t i = 0; i < count(copy); ++i) {
      Cell* w = cells(copy) + i;
      w->header = TYPE_WORD;
      w->data1 = ctx;
      w->data3 = i;
    }
    *out = make_cell(TYPE_BLOCK, 0, copy);
  } else {
    error::raise(ERR_INTERNAL, "not-done");
  }
  return out;
}

int form(Cell*, Cell* buffer, Cell*, int limit) {
  string::append_ascii(buffer->node(), "?function?");
  return limit - 10;
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent) {
  (void)only;
  using namespace function_detail;
  string::append_ascii(buffer->node(), "func ");
  limit -= 5;
  // Both blocks stay on the stack while they are molded: molding allocates.
  Cell* spec = stack::push(value);
  *spec = make_cell(TYPE_BLOCK, 0, value->data2);
  Cell* body = stack::push(&cells(value->data3)[MORE_BODY]);
  limit = actions::mold_direct(spec, buffer, false, all, flat, part, limit, indent);
  if (body->is(TYPE_BLOCK)) {
    limit = actions::mold_direct(body, buffer, false, all, flat, part, limit, indent);
  } else {
    string::append_ascii(buffer->node(), " none");
    limit -= 5;
  }
  stack::top = spec;
  return limit;
}

void register_datatype() {
  ActionRow row;
  row.fill(INHERIT);
  row[ACT_MAKE - 1] = entry(&make);
  row[ACT_REFLECT - 1] = entry(&reflect);
  row[ACT_FORM - 1] = entry(&form);
  row[ACT_MOLD - 1] = entry(&mold);
  row[ACT_COMPARE - 1] = entry(&compare);
  datatype::register_type(TYPE_FUNCTION, TYPE_CONTEXT, "function!", row);
}

int compare(Cell* value1, Cell* value2, int op) {
  if (value2->type() != value1->type()) return COMPARE_UNRELATED;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
    case COMP_CASE_SORT: case COMP_SAME: case COMP_FIND_EQUAL:
      return value1->data3 < value2->data3 ? -1 : value1->data3 > value2->data3 ? 1 : 0;
    default:
      return COMPARE_UNRELATED;
  }
}

}  // namespace tav::function
