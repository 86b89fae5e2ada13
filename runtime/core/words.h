// Words: making word cells from names and symbols, reading and setting their values, and the
// predefined symbols and words the runtime compares against by id.
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav {

namespace word {
// A word! bound to the global context (added with an unset! value when new). While start-up
// collects words, the result is a copy kept in the root block.
Cell* load(const char* utf8_name);
// Makes `cell` a word! (other header bits kept) bound to the global context.
Cell* make_at(uint32_t symbol, Cell* cell);
Cell make(uint32_t symbol);
Cell* push_new(uint32_t symbol);
// Pushes a word! for the symbol bound in ctx (added when absent).
Cell* push_in(NodeId ctx, uint32_t symbol);
// Pushes a copy of the word's value; an unset! value raises no-value.
Cell* get(const Cell* word);
Cell* get_unchecked(const Cell* word);
// Sets the word's value; an unset! value raises need-value.
Cell* set(Cell* word, const Cell* value);
inline bool is_any_word(TypeId t) { return t >= TYPE_WORD && t <= TYPE_ISSUE; }
}  // namespace word

namespace refinement {
// An unbound refinement! kept in the root block.
Cell* load(const char* utf8_name);
}  // namespace refinement

// Predefined symbols: C++ name, then the name as written.
#define TAV_PREDEFINED_SYMBOLS(X)                                                           \
  X(spec, "spec") X(body, "body") X(words_, "words") X(class_, "class")                    \
  X(logic_bang, "logic!") X(integer_bang, "integer!") X(char_bang, "char!")                \
  X(float_bang, "float!") X(percent_bang, "percent!") X(any_type_bang, "any-type!")        \
  X(exit_, "exit") X(return_, "return") X(Windows, "Windows") X(Syllable, "Syllable")      \
  X(macOS, "macOS") X(Linux, "Linux") X(NetBSD, "NetBSD") X(repeat, "repeat")              \
  X(foreach, "foreach") X(map_each, "map-each") X(remove_each, "remove-each") X(any, "any") \
  X(break_, "break") X(copy, "copy") X(end, "end") X(fail, "fail") X(into, "into")          \
  X(opt, "opt") X(not_, "not") X(quote, "quote") X(case_, "case") X(reject, "reject")       \
  X(set, "set") X(skip, "skip") X(some, "some") X(thru, "thru") X(to, "to")                 \
  X(none, "none") X(bar, "|") X(dash, "-") X(if_, "if") X(remove, "remove")                \
  X(while_, "while") X(insert, "insert") X(only, "only") X(collect, "collect")              \
  X(keep, "keep") X(pick, "pick") X(ahead, "ahead") X(after, "after") X(x, "x") X(y, "y")  \
  X(z, "z") X(self, "self") X(values, "values") X(owner, "owner") X(owned, "owned")         \
  X(events_q, "events?") X(true_, "true") X(false_, "false") X(yes, "yes") X(no, "no")      \
  X(on, "on") X(off, "off") X(type, "type") X(face, "face") X(window, "window")             \
  X(offset, "offset") X(key, "key") X(flag, "flag") X(code, "code") X(picked, "picked")     \
  X(flags, "flags") X(away_q, "away?") X(ctrl_q, "ctrl?") X(shift_q, "shift?")              \
  X(down_q, "down?") X(mid_down_q, "mid-down?") X(alt_down_q, "alt-down?")                  \
  X(aux_down_q, "aux-down?") X(orientation, "orientation") X(get, "get") X(put, "put")      \
  X(post, "post") X(head, "head") X(size, "size") X(rgb, "rgb") X(alpha, "alpha")           \
  X(argb, "argb") X(date, "date") X(year, "year") X(month, "month") X(day, "day")           \
  X(zone, "zone") X(isoweek, "isoweek") X(week, "week") X(weekday, "weekday")               \
  X(yearday, "yearday") X(julian, "julian") X(time, "time") X(hour, "hour")                 \
  X(minute, "minute") X(second, "second") X(timezone, "timezone") X(amount, "amount")       \
  X(user, "user") X(host, "host") X(system_, "system") X(system_global, "system-global")    \
  X(stack_, "stack") X(trace, "trace") X(no_trace, "no-trace")

// Global words made exactly as spelled (parse keywords and platform names).
#define TAV_PREDEFINED_GLOBAL_WORDS(X)                                                      \
  X(Windows, "Windows") X(Syllable, "Syllable") X(macOS, "macOS") X(Linux, "Linux")        \
  X(NetBSD, "NetBSD") X(to, "to") X(thru, "thru") X(not_, "not") X(remove, "remove")       \
  X(while_, "while") X(collect, "collect") X(keep, "keep") X(ahead, "ahead") X(bar, "|")   \
  X(any, "any") X(some, "some") X(copy, "copy") X(opt, "opt") X(into, "into")               \
  X(insert, "insert") X(if_, "if") X(quote, "quote") X(set, "set") X(case_, "case")

// Words of series actions and their change events, events, reflectors, special frame names
// and error categories.
#define TAV_PREDEFINED_WORDS(X)                                                             \
  X(at, "at") X(back, "back") X(find, "find") X(head, "head") X(head_q, "head?")            \
  X(index_q, "index?") X(length_q, "length?") X(next, "next") X(pick, "pick")               \
  X(skip, "skip") X(select, "select") X(tail, "tail") X(tail_q, "tail?")                    \
  X(change, "change") X(changed, "changed") X(clear, "clear") X(cleared, "cleared")         \
  X(set_path, "set-path") X(append, "append") X(appended, "appended") X(move, "move")       \
  X(moved, "moved") X(poke, "poke") X(poked, "poked") X(put, "put") X(put_ed, "put-ed")     \
  X(removed, "removed") X(random, "random") X(randomized, "randomized")                     \
  X(reverse, "reverse") X(reversed, "reversed") X(sort, "sort") X(sorted, "sorted")         \
  X(swap, "swap") X(swaped, "swaped") X(take, "take") X(taken, "taken") X(trim, "trim")     \
  X(trimmed, "trimmed") X(inserted, "inserted") X(uppercase, "uppercase")                   \
  X(lowercase, "lowercase") X(checksum, "checksum") X(push, "push") X(pop, "pop")           \
  X(fetch, "fetch") X(match, "match") X(iterate, "iterate") X(paren, "paren")               \
  X(tag_anon, "<anon>") X(tag_body, "<body>") X(tag_not_found, "<not-found>")
#define TAV_PREDEFINED_WORDS_2(X)                                                           \
  X(add, "add") X(subtract, "subtract") X(divide, "divide")                                 \
  X(on_parse_event, "on-parse-event") X(on_change_star, "on-change*")                       \
  X(on_deep_change_star, "on-deep-change*") X(type, "type") X(id, "id") X(try_, "try")      \
  X(catch_, "catch") X(name, "name") X(multiply, "multiply") X(browse, "browse")            \
  X(open, "open") X(create, "create") X(close, "close") X(delete_, "delete")                \
  X(modify, "modify") X(query, "query") X(read, "read") X(rename, "rename")                 \
  X(update, "update") X(write, "write") X(prescan, "prescan") X(scan, "scan")               \
  X(load, "load") X(error_, "error") X(comment, "comment") X(init, "init") X(exec, "exec")  \
  X(call, "call") X(return_, "return") X(enter, "enter") X(exit_, "exit")                   \
  X(prolog, "prolog") X(epilog, "epilog") X(throw_, "throw") X(expr, "expr")                \
  X(tag_interp_callback, "<interp-callback>") X(tag_lexer_callback, "<lexer-callback>")     \
  X(tag_parse_callback, "<parse-callback>") X(tag_compare_callback, "<compare-callback>")   \
  X(note, "note") X(syntax, "syntax") X(script, "script") X(math, "math")                   \
  X(access, "access") X(user, "user") X(internal, "internal")                               \
  X(invalid_error, "invalid-error") X(local, "local") X(tag_applied, "<applied>")

#define TAV_PREDEFINED_REFINEMENTS(X)                                                       \
  X(local, "local") X(extern_, "extern") X(compare, "compare") X(part, "part")              \
  X(skip, "skip") X(with, "with")

#define TAV_DECLARE_SYMBOL(c, s) extern uint32_t c;
#define TAV_DECLARE_CELL(c, s) extern Cell c;

// Symbol ids, compared against canonical ids by code that recognises a name.
namespace symbols {
TAV_PREDEFINED_SYMBOLS(TAV_DECLARE_SYMBOL)
}
// Word cells bound to the global context.
namespace words {
TAV_PREDEFINED_GLOBAL_WORDS(TAV_DECLARE_CELL)
TAV_PREDEFINED_WORDS(TAV_DECLARE_CELL)
extern Cell end;   // made as a global word, between the two lists
TAV_PREDEFINED_WORDS_2(TAV_DECLARE_CELL)
// Makes the predefined symbols, words, refinements and issues (start-up, once).
void make_predefined();
}  // namespace words
// Unbound refinement! cells.
namespace refinements {
TAV_PREDEFINED_REFINEMENTS(TAV_DECLARE_CELL)
}
// The issue! #ooo.
namespace issues {
extern Cell ooo;
}

#undef TAV_DECLARE_SYMBOL
#undef TAV_DECLARE_CELL

}  // namespace tav
