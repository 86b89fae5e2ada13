// Compiling a function body: each statement is read the way the interpreter would read it
// with the words' present values, into a tree of nodes. A statement that holds anything the
// runner does not carry out itself (paths, refinements, quoted arguments, operators with no
// inline form, a call whose argument cache is not built yet) ends the compiled part of its
// block: the interpreter runs the block from there.
#include "calls_internal.h"
#include "compiled_internal.h"
#include "core/context.h"
#include "evaluator/actions.h"
#include "fast_paths.h"
#include "interpreter.h"
#include "natives.h"

namespace tav::compiled::detail {

namespace {

struct Specials {
  uint32_t if_ = ~0u, either = ~0u, unless = ~0u, while_ = ~0u, loop = ~0u, until = ~0u;
  Specials() {
    auto index = [](const char* name) {
      uint32_t p = natives::position_of(name);
      return p ? p - 1 : ~0u;
    };
    if_ = index("if");
    either = index("either");
    unless = index("unless");
    while_ = index("while");
    loop = index("loop");
    until = index("until");
  }
  Special of(uint32_t id) const {
    return id == if_ ? S_IF : id == either ? S_EITHER : id == unless ? S_UNLESS
           : id == while_ ? S_WHILE : id == loop ? S_LOOP : id == until ? S_UNTIL : S_NONE;
  }
};

constexpr uint32_t FAIL = ~0u;

class Builder {
 public:
  Builder(Program& p, NodeId fn_ctx)
      : p_(p), fn_ctx_(context::on_stack(context::context_cell(fn_ctx)) ? fn_ctx : 0) {}

  // Compiles the block at (node, index) into a new unit; NO_UNIT when not one statement of it
  // compiles.
  uint32_t unit(NodeId node, uint32_t index, uint32_t depth) {
    if (depth > 64) return NO_UNIT;
    SeriesBuffer* b = node_buffer(node);
    if (b->unit() != sizeof(Cell)) return NO_UNIT;
    uint32_t count = b->used() / uint32_t(sizeof(Cell));
    if (index > count) return NO_UNIT;
    Unit u;
    u.node = node;
    u.index = index;
    u.cells.assign(b->cells() + index, b->cells() + count);
    u.end = count;
    u.rest = count;
    // Nodes are found by number while the node list grows, by address once it is done.
    std::vector<uint32_t> statements, kids;
    Unit* saved = u_;
    std::vector<uint32_t>* saved_kids = kids_;
    uint32_t saved_depth = depth_;
    u_ = &u;
    kids_ = &kids;
    depth_ = depth;
    uint32_t pos = index;
    while (pos < count) {
      uint32_t n = statement(pos);
      if (n == FAIL) {
        u.rest = pos;
        break;
      }
      statements.push_back(n);
      pos = u.nodes[n].end;
    }
    u_ = saved;
    kids_ = saved_kids;
    depth_ = saved_depth;
    if (statements.empty() && count > index) return NO_UNIT;
    for (uint32_t k : kids) u.kid_nodes.push_back(&u.nodes[k]);
    for (Node& n : u.nodes) n.kid = u.kid_nodes.data() + n.kids;
    for (uint32_t st : statements) u.roots.push_back(&u.nodes[st]);
    if (u.roots.size() == 1 && u.rest == count) u.single = u.roots[0];
    p_.units.push_back(std::move(u));
    return static_cast<uint32_t>(p_.units.size() - 1);
  }

 private:
  Program& p_;
  NodeId fn_ctx_;
  Unit* u_ = nullptr;                     // the unit being compiled
  std::vector<uint32_t>* kids_ = nullptr;  // and its nodes' children, by number
  uint32_t depth_ = 0;
  static const Specials& specials() {
    static const Specials s;
    return s;
  }

  const Cell& at(uint32_t pos) const { return u_->cells[pos - u_->index]; }
  uint32_t tail() const { return u_->tail(); }

  uint32_t add(Node n) {
    u_->nodes.push_back(n);
    return static_cast<uint32_t>(u_->nodes.size() - 1);
  }
  Node& node(uint32_t i) { return u_->nodes[i]; }

  // The value a word has now, when it is bound and resolved.
  const Cell* value_of(const Cell& word) const {
    if (word.data1 == 0 || static_cast<int32_t>(word.data3) < 0) return nullptr;
    return interp::word_value_cell(&word);
  }
  bool is_local(const Cell& word) const {
    return fn_ctx_ != 0 && word.data1 == fn_ctx_ && static_cast<int32_t>(word.data3) >= 0;
  }

  uint32_t statement(uint32_t pos) {
    const Cell& c = at(pos);
    if (c.is(TYPE_SET_WORD)) {
      if (c.data1 == 0 || static_cast<int32_t>(c.data3) < 0 || pos + 1 >= tail()) return FAIL;
      uint32_t value = expression(pos + 1, false);
      if (value == FAIL) return FAIL;
      Node n{K_SET};
      n.pos = pos;
      n.end = node(value).end;
      n.cell = c;
      n.pure = node(value).pure;
      n.calls = node(value).calls;
      n.kids = static_cast<uint32_t>(kids_->size());
      kids_->push_back(value);
      n.local = is_local(c);
      return add(n);
    }
    return expression(pos, false);
  }

  // An expression: an operand and the operators that follow it (none with no_infix).
  uint32_t expression(uint32_t pos, bool no_infix) {
    if (u_->nodes.size() > 100000) return FAIL;
    uint32_t left = operand(pos);
    if (left == FAIL || no_infix) return left;
    while (node(left).end < tail()) {
      uint32_t at_op = node(left).end;
      const Cell& w = at(at_op);
      if (!w.is(TYPE_WORD)) break;
      const Cell* op = value_of(w);
      if (!op || !op->is(TYPE_OP)) {
        // A word with no value yet may become an operator: the interpreter decides then.
        if (!op && w.data1 != 0) return FAIL;
        break;
      }
      int code = fast_paths::infix_code(op);
      if (code < 0) return FAIL;
      if (at_op + 1 >= tail()) return FAIL;
      uint32_t right = operand(at_op + 1);
      if (right == FAIL) return FAIL;
      Node n{K_INFIX};
      n.pos = pos;
      n.end = node(right).end;
      n.cell = w;
      n.target = *op;
      n.code = static_cast<int8_t>(code);
      n.plain_first = node(left).plain_first;
      n.pure = node(left).pure && node(right).pure;
      n.calls = node(left).calls || node(right).calls;
      n.kids = static_cast<uint32_t>(kids_->size());
      kids_->push_back(left);
      kids_->push_back(right);
      left = add(n);
    }
    // The interpreter looks at the word after an expression for an operator every time.
    uint32_t end = node(left).end;
    if (end < tail() && at(end).is(TYPE_WORD) && at(end).data1 != 0) node(left).next_check = true;
    return left;
  }

  uint32_t operand(uint32_t pos) {
    const Cell& c = at(pos);
    TypeId t = c.type();
    Node n{K_VALUE};
    n.pos = pos;
    n.end = pos + 1;
    n.cell = c;
    if (t == TYPE_WORD) {
      const Cell* v = value_of(c);
      if (!v) return FAIL;
      TypeId vt = v->type();
      if (interp::is_callable(vt)) return call(pos, *v);
      if (vt == TYPE_OP || vt == TYPE_UNSET) return FAIL;
      n.local = is_local(c);
      n.kind = n.local ? K_LOCAL : K_WORD;
      n.plain_first = n.pure = true;
      return add(n);
    }
    if (t == TYPE_GET_WORD) {
      if (c.data1 == 0 || static_cast<int32_t>(c.data3) < 0) return FAIL;
      n.kind = K_GET;
      n.local = is_local(c);
      return add(n);
    }
    if (t == TYPE_LIT_WORD) {
      n.cell.set_type(TYPE_WORD);
      return add(n);
    }
    if (t == TYPE_PAREN) {
      n.kind = K_PAREN;
      n.calls = true;
      n.unit = unit(c.node(), c.index(), depth_ + 1);
      return add(n);
    }
    if ((fast_paths::fast_detail::SELF_VALUES >> (t & 63)) & 1) {
      n.plain_first = n.pure = true;
      return add(n);
    }
    return FAIL;
  }

  uint32_t call(uint32_t pos, const Cell& fn) {
    using namespace interp::calls_detail;
    TypeId t = fn.type();
    if (t != TYPE_FUNCTION && t != TYPE_NATIVE && t != TYPE_ACTION) return FAIL;
    uint32_t info = known_info(&fn);
    if (!info) info = build_info(fn);
    if (!info) return FAIL;
    Node n{K_CALL};
    n.pos = pos;
    n.cell = at(pos);
    n.target = fn;
    n.calls = true;
    n.local = is_local(n.cell);
    n.cache = cache_slot(&fn)->node();
    if (t == TYPE_FUNCTION) {
      if (!(info & INFO_PLAIN)) return FAIL;
    } else {
      if (!(info & INFO_LEADING_PLAIN) || info_refinements(info) > MAX_NATIVE_REFINEMENTS)
        return FAIL;
      n.entry = t == TYPE_NATIVE ? natives::entry(fn.data1)
                : fn.data1 < ACTION_COUNT ? actions::table[fn.data1] : nullptr;
      if (!n.entry) return FAIL;
    }
    uint32_t arity = info_arguments(info);
    if (arity > 0xFF) return FAIL;
    n.arity = static_cast<uint8_t>(arity);
    std::vector<uint32_t> args(arity);
    uint32_t next = pos + 1;
    for (uint32_t i = 0; i < arity; ++i) {
      if (next >= tail()) return FAIL;
      args[i] = expression(next, false);
      if (args[i] == FAIL) return FAIL;
      next = node(args[i]).end;
    }
    n.end = next;
    n.kids = static_cast<uint32_t>(kids_->size());
    n.args_pure = true;
    for (uint32_t i = 0; i < arity; ++i) {
      kids_->push_back(args[i]);
      Node& a = node(args[i]);
      n.args_pure = n.args_pure && a.pure;
      // The cache does not change: what the argument accepts is known now, and so is a
      // value's type.
      const Cell* types = node_buffer(n.cache)->cells() + i;
      for (int k = 0; k < TYPE_TABLE_SIZE; ++k)
        if (interp::typeset_has(types, static_cast<TypeId>(k))) a.accepts |= type_bit(static_cast<TypeId>(k));
      if (i < 32 && a.kind == K_VALUE && interp::typeset_has(types, a.cell.type()))
        n.typed |= 1u << i;
    }
    if (t == TYPE_NATIVE) special(n, args.data());
    return add(n);
  }

  // A callee's argument cache is built on its first call, which this one may be: a spec
  // whose type words do not hold types raises then, not here.
  static uint32_t build_info(Cell fn) {
    stack::State state = stack::save();
    Cell* held = stack::push(&fn);
    stack::mark_try(nullptr);   // an error comes back here, not to the script's catchers
    uint32_t info = 0;
    try {
      interp::calls_detail::cache_and_info(held, &info);
    } catch (const Unwind&) {
      info = 0;
      stack::saved_throw_frame = nullptr;
    }
    stack::restore(state);
    return info;
  }

  // if, either, unless, while, loop and until with literal blocks run their blocks' units
  // themselves.
  void special(Node& n, const uint32_t* args) {
    Special k = specials().of(n.target.data1);
    if (k == S_NONE) return;
    // The blocks come after the condition or the count, but for while and until.
    uint32_t first = (k == S_WHILE || k == S_UNTIL) ? 0 : 1;
    uint32_t blocks = (k == S_EITHER || k == S_WHILE) ? 2 : 1;
    if (n.arity != first + blocks) return;
    uint32_t units[2] = {NO_UNIT, NO_UNIT};
    for (uint32_t b = 0; b < blocks; ++b) {
      const Node& a = node(args[first + b]);
      if (a.kind != K_VALUE || !a.cell.is(TYPE_BLOCK)) return;
      units[b] = unit(a.cell.node(), a.cell.index(), depth_ + 1);
    }
    n.special = k;
    n.blocks[0] = units[0];
    n.blocks[1] = units[1];
    if (k == S_WHILE && units[0] != NO_UNIT && units[1] != NO_UNIT) n.pure_loop = pure_loop(units);
  }

  // Whether a while loop's blocks are whole statements of plain values, words and inline
  // operators, none of them setting a word that names one of the loop's operators or that
  // follows one of its expressions.
  bool pure_loop(const uint32_t* units) const {
    std::vector<std::pair<uint32_t, uint32_t>> sets, read;
    for (uint32_t b = 0; b < 2; ++b) {
      const Unit& u = p_.units[units[b]];
      if (u.rest != u.tail()) return false;
      for (const Node* st : u.roots)
        if (!st->pure) return false;
      for (const Node& k : u.nodes) {
        if (k.kind == K_SET) sets.emplace_back(k.cell.data1, k.cell.data3);
        if (k.kind == K_INFIX) read.emplace_back(k.cell.data1, k.cell.data3);
        if (k.next_check) {
          const Cell& w = u.cells[k.end - u.index];
          if (static_cast<int32_t>(w.data3) < 0) return false;
          read.emplace_back(w.data1, w.data3);
        }
      }
    }
    for (const auto& s : sets)
      for (const auto& r : read)
        if (s == r) return false;
    return true;
  }
};

}  // namespace

Program* compile(const Cell* fn, const Cell* body) {
  auto* p = new Program;
  p->ctx = fn->data1;
  p->body = body->node();
  Builder b(*p, fn->data1);
  uint32_t u = b.unit(body->node(), body->index(), 0);
  if (u == NO_UNIT) {
    delete p;
    return nullptr;
  }
  p->body_unit = u;
  p->body_index = body->index();
  p->slots = context::word_count(p->ctx);
  for (const Unit& unit : p->units) p->node_count += static_cast<uint32_t>(unit.nodes.size());
  return p;
}

}  // namespace tav::compiled::detail
