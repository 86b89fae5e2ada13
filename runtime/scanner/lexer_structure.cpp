// The scan-role handlers of the lexer's structure tokens: opening and closing blocks, parens,
// maps, points and paths, braced strings, constructs, comments and commas.
#include <cctype>
#include <cstdint>
#include <string_view>

#include "datatypes/map.h"
#include "scanner/lexer_classify.h"
#include "scanner/lexer_internal.h"
#include "scanner/tokens.h"

namespace tav::lexer::lexer_driver {

// Opens a nesting of the type for the opener token [opening, token_end). Answers false on a
// load error; *opened tells whether the callback let it open.
bool open_nesting(State& s, int type, const uint8_t* opening, const uint8_t* token_end,
                  bool* opened) {
  *opened = false;
  if (is_point(marker_type(marker(s)))) return fail(s, opening, opening + 1, TYPE_POINT2D);
  if (s.traced && !fire_event(s, EVENT_OPEN, type, nullptr, opening, token_end)) return true;
  Cell* m = push_cell(s);
  uint32_t index = s.top - 1;
  m->header = (m->header & FLAG_NEW_LINE) | MARKER;
  m->data1 = index - s.frame;
  m->data2 = static_cast<uint32_t>(type);
  m->data3 = static_cast<uint32_t>(opening - s.input_start);
  s.frame = index + 1;
  s.entry_state = ENTRY_TOKEN;
  *opened = true;
  return true;
}

bool closes(int marker_type, int closer_type) {
  if (closer_type == TYPE_BLOCK) return marker_type == TYPE_BLOCK || marker_type == TYPE_MAP;
  if (closer_type == TYPE_PAREN) return marker_type == TYPE_PAREN || is_point(marker_type);
  return is_any_path(static_cast<TypeId>(marker_type));
}

// Closes the innermost nesting with the closer of closer_type found at [start, end).
bool close_nesting(State& s, int closer_type, const uint8_t* start, const uint8_t* end) {
  Cell* m = marker(s);
  if (!m) {
    s.missing = closer_type == TYPE_BLOCK ? '[' : '(';
    s.error_type = closer_type;
    return fail(s, start, end, KIND_MISSING);
  }
  int type = marker_type(m);
  if (s.traced) {
    int made = closer_type == TYPE_BLOCK || closer_type == TYPE_PAREN ? type : closer_type;
    if (!fire_event(s, EVENT_CLOSE, made, nullptr, s.input_start + m->data3, end)) {
      // Left open: a path whose end the callback refused goes on as plain values.
      if (is_any_path(static_cast<TypeId>(type))) s.entry_state = ENTRY_TOKEN;
      return true;
    }
    m = marker(s);   // a scan inside the callback may have moved the value stack
  }
  if (!closes(type, closer_type)) {
    if (is_any_path(static_cast<TypeId>(type))) return fail(s, start, end, KIND_BAD_CHAR);
    s.missing = closer_of(type);
    s.error_type = type;
    return fail(s, start, end, KIND_MISSING);
  }
  if (closer_type != TYPE_BLOCK && closer_type != TYPE_PAREN) type = closer_type;
  uint32_t marker_index = s.frame - 1;
  uint32_t count = s.top - s.frame;
  uint32_t back = m->data1;
  uint32_t new_line = m->header & FLAG_NEW_LINE;
  Cell value = make_cell(static_cast<TypeId>(type));
  if (s.load) {
    if (is_point(type)) {
      s.drop_nesting = true;
      if (!load_point(s, &value_stack[s.frame], count, type, s.input_start + m->data3, end,
                      &value))
        return false;
      s.drop_nesting = false;
    } else if (type == TYPE_MAP) {
      if (!map::load_literal(&value_stack[s.frame], count, &value)) {
        s.drop_nesting = true;
        return fail(s, s.input_start + m->data3, end, TYPE_MAP);
      }
    } else {
      value.data2 = make_block(&value_stack[s.frame], count);
    }
  }
  value.header |= new_line;
  value_stack[marker_index] = value;
  s.top = marker_index + 1;
  s.frame = marker_index - back;
  s.type = type;
  s.entry_state = is_any_path(static_cast<TypeId>(marker_type(marker(s)))) ? ENTRY_PATH
                                                                           : ENTRY_TOKEN;
  return true;
}

// ---- Structure handlers --------------------------------------------------------------

bool scan_eof(State& s, const uint8_t*, const uint8_t*, uint32_t, bool) {
  s.position = s.input_end;
  return true;
}

bool scan_error(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
  uint8_t prev = s.previous_state;
  int kind = (is_final(prev) || state_type(prev) == 0) ? KIND_BAD_CHAR : state_type(prev);
  if (s.brace_depth > 0) start = s.brace_start;
  return fail(s, start, end, kind);
}

bool scan_open(State& s, const uint8_t*, const uint8_t* end, uint32_t, bool) {
  int type = *end == '[' ? TYPE_BLOCK : TYPE_PAREN;
  bool opened;
  if (!open_nesting(s, type, end, end + 1, &opened)) return false;
  s.position = end + 1;
  return true;
}

bool scan_close_block(State& s, const uint8_t*, const uint8_t* end, uint32_t, bool) {
  if (!close_nesting(s, TYPE_BLOCK, end, end + 1)) return false;
  s.position = end + 1;
  return true;
}

bool scan_close_paren(State& s, const uint8_t*, const uint8_t* end, uint32_t, bool) {
  if (!close_nesting(s, TYPE_PAREN, end, end + 1)) return false;
  s.position = end + 1;
  return true;
}

bool scan_map_open(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
  if (*start != '#') return fail(s, start, end + 1, TYPE_MAP);
  bool opened;
  if (!open_nesting(s, TYPE_MAP, start, end + 1, &opened)) return false;
  s.position = end + 1;
  return true;
}

// "{" outside a braced string opens one; inside, it deepens it. The text before it (inside)
// belongs to the string.
bool scan_brace_open(State& s, const uint8_t*, const uint8_t* end, uint32_t flags, bool) {
  if (s.brace_depth == 0) {
    s.brace_start = end;
    s.brace_flags = 0;
    s.brace_lines = s.token_lines;
    s.entry_state = ENTRY_BRACED;
  } else {
    s.brace_flags |= flags;
  }
  ++s.brace_depth;
  s.position = end + 1;
  return true;
}

bool scan_brace_close(State& s, const uint8_t*, const uint8_t* end, uint32_t flags, bool build) {
  s.brace_flags |= flags;
  s.position = end + 1;
  if (--s.brace_depth > 0) return true;
  s.entry_state = ENTRY_TOKEN;
  s.token_lines = s.brace_lines;
  s.token_start = s.brace_start;
  s.type = TYPE_STRING;
  if (s.mode == Mode::prescan) return true;
  return load_text(s, s.brace_start + 1, end, s.brace_flags, true, TYPE_STRING, build);
}

// After a "/" inside a path: an element must follow, and a ":" there must start a get-word.
bool element_follows(const State& s, const uint8_t* after) {
  if (after >= s.input_end) return false;
  return *after != ':' || (after + 1 < s.input_end && !is_delimiter(char_class(after[1])));
}

bool scan_path_open(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  int kind = TYPE_PATH;
  const uint8_t* head = start;
  if (*start == '\'') kind = TYPE_LIT_PATH, ++head;
  else if (*start == ':') kind = TYPE_GET_PATH, ++head;
  const uint8_t* after = end + 1;   // past the "/"
  bool opened;
  if (!open_nesting(s, kind, start, after, &opened)) return false;
  // Refused by the callback, the path is not made: its head stays a word of the path's kind
  // and what follows the "/" is scanned as the next token.
  TypeId head_kind = opened || kind == TYPE_PATH ? TYPE_WORD
                     : kind == TYPE_LIT_PATH     ? TYPE_LIT_WORD
                                                 : TYPE_GET_WORD;
  if (s.mode != Mode::prescan && !load_word_as(s, head, end, head_kind, build)) return false;
  if (!opened) {
    s.position = after;
    s.type = head_kind;
    return true;
  }
  if (!element_follows(s, after)) return fail(s, start, after, kind);
  s.position = after;
  s.entry_state = ENTRY_PATH;
  s.type = 0;
  return true;
}

bool scan_construct(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  std::string_view name(reinterpret_cast<const char*>(start + 2), end - start - 2);
  auto same = [&](std::string_view word) {
    if (word.size() != name.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(name[i])) !=
          std::tolower(static_cast<unsigned char>(word[i]))) {
        return false;
      }
    }
    return true;
  };
  Cell value;
  if (same("true") || same("false")) {
    set_logic(&value, same("true"));
  } else if (same("none")) {
    set_none(&value);
  } else if (same("unset")) {
    set_unset(&value);
  } else {
    int found = 0;
    for (int t = 1; t < TYPE_TABLE_SIZE && !found; ++t) {
      const char* name_of_type = type_name(t);
      if (name_of_type && same(name_of_type)) found = t;
    }
    if (!found) return fail(s, start, end + 1, KIND_BAD_CONSTRUCTION);
    set_datatype(&value, static_cast<TypeId>(found));
  }
  s.position = end + 1;
  s.type = value.type();
  if (build) emit(s, value);
  return true;
}

bool scan_comment(State& s, const uint8_t*, const uint8_t* end, uint32_t, bool) {
  s.position = end;
  return true;
}

// "," inside a paren makes it a point: the first gives two coordinates, the second three.
bool scan_comma(State& s, const uint8_t*, const uint8_t* end, uint32_t, bool) {
  Cell* m = marker(s);
  int type = marker_type(m);
  if (type != TYPE_PAREN && type != TYPE_POINT2D) return fail(s, end, end + 1, TYPE_POINT2D);
  // Each comma follows exactly one coordinate: "(, 1 2)" and "(1 2, 3)" are no points.
  // Only loading keeps the values to count.
  uint32_t commas = type == TYPE_PAREN ? 0 : 1;
  if (s.load && s.top - s.frame != commas + 1)
    return fail(s, s.input_start + m->data3, end + 1, TYPE_POINT2D);
  m->data2 = type == TYPE_PAREN ? (TYPE_POINT2D | (1u << 16)) : (TYPE_POINT3D | (2u << 16));
  s.position = end + 1;
  return true;
}

// After a path element: the path goes on at a "/", ends at a delimiter or the end of the
// input, and ends as a set-path at a ":".
bool path_next(State& s) {
  const uint8_t* p = s.position;
  Cell* m = marker(s);
  auto path_start = [&] { return s.input_start + m->data3; };
  if (p >= s.input_end) return close_nesting(s, marker_type(m), p, p);
  if (*p == ':') {
    if ((p + 1 < s.input_end && p[1] == '/') || marker_type(m) != TYPE_PATH) {
      return fail(s, path_start(), p + 1, marker_type(m));
    }
    s.position = p + 1;
    return close_nesting(s, TYPE_SET_PATH, p, p + 1);
  }
  if (is_delimiter(char_class(*p))) return close_nesting(s, marker_type(m), p, p);
  if (*p != '/') return fail(s, path_start(), p + 1, marker_type(m));
  if (!element_follows(s, p + 1)) {
    return fail(s, path_start(), p + 1 < s.input_end ? p + 2 : p + 1, marker_type(m));
  }
  s.position = p + 1;
  return true;
}

}  // namespace tav::lexer::lexer_driver
