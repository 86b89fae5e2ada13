// object!: named fields in a context, reached through an object cell.
//
// Object cell: data1 the context node, data2 the class id (signed), data3 the event record's
// node (0: no on-change* and no on-deep-change* handler). The context's owner cell (the self
// slot) holds a copy of the object cell, so routines that hold only the context recover the
// object. Field k is word k of the word list and value k of the values block.
//
// Class ids: objects with one class id have the same words in the same order. Fixed ids sit
// at or below FIRST_CLASS_ID (error! 1, port! 2, objects of make_at 0); make hands out new
// ones from a counter.
//
// Event record: a block of two cells, cell 0 for on-change*, cell 1 for on-deep-change*;
// each holds (field index << 16 | local count) in data1 and the handler's spec node, as last
// seen, in data2. An absent handler has index -1 (data1 >= 0xFFFF0000).
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/memory.h"

namespace tav::object {

constexpr int32_t FIRST_CLASS_ID = 1000000;
constexpr int32_t ERROR_CLASS = 1;
constexpr int32_t PORT_CLASS = 2;
// Header bit of the context cell: the object owns its series (ownership walks stop here).
constexpr uint32_t CTX_OWNER = 1u << 16;
constexpr uint32_t NO_HANDLER = 0xFFFF0000u;
// Trace masks the handler calls carry.
constexpr uint32_t TRACE_ON_CHANGE = 8;
constexpr uint32_t TRACE_ON_DEEP_CHANGE = 16;

// ---- Hooks the interpreter installs ---------------------------------------------------------

// Evaluates a block (make's spec, make error!'s field block); the result is dropped. Errors
// and non-local exits leave as Unwind exceptions.
using Evaluator = void (*)(Cell* block);
extern Evaluator evaluator;
// Calls a handler function: a call frame named after the handler is open, its arguments are
// pushed from stack::base. Errors leave as Unwind exceptions.
using HandlerCall = void (*)(Cell* fn, NodeId object_ctx, uint32_t name_symbol,
                             uint32_t trace_mask);
extern HandlerCall handler_call;
// Makes a function! on the argument stack top from a spec and a body (binding the body to
// the function's own context); answers its context node.
using FunctionMaker = NodeId (*)(const Cell* spec, const Cell* body, uint32_t flags);
extern FunctionMaker function_maker;

// ---- Cells and fields ------------------------------------------------------------------------

inline NodeId context_of(const Cell* obj) { return obj->data1; }
inline int32_t class_of(const Cell* obj) { return static_cast<int32_t>(obj->data2); }
inline NodeId events_of(const Cell* obj) { return obj->data3; }

int32_t next_class_id();
// 0-based field index of the word's symbol (case-insensitive), or -1.
int32_t word_index(const Cell* obj, const Cell* word);
// The field's value cell, or the shared none cell when the word is no field.
Cell* word_value_cell(const Cell* obj, const Cell* word);
Cell* word_cell(NodeId ctx, uint32_t index);
// The word cell of the field whose value cell is `value`, or null.
Cell* word_of_value_cell(const Cell* obj, const Cell* value);
Cell* first_word(const Cell* obj);
Cell* get_values(const Cell* obj);
uint32_t field_count(const Cell* obj);
// Copies the object cell into its context's self slot.
void store_self(const Cell* obj);

// ---- Building ---------------------------------------------------------------------------------

// Makes `cell` an empty object (room for capacity words, class 0, no events).
Cell* make_at(Cell* cell, uint32_t capacity);
// The construct native: a copy of the prototype (or a new empty object) with the spec's
// set-words taking the value that follows them, unevaluated. Pushed on the stack.
Cell* construct(Cell* spec, Cell* proto, bool only);
// The copy worker (see copy): the destination gets a new context.
void copy_into(Cell* src, Cell* dst, bool deep, Cell* types, bool fresh_events);
// A copy of the function made for the object's context (body copied, rebound).
void rebind_function(Cell* fn, NodeId ctx);
// Puts every field of src into ctx (deep-copying series, rebinding functions); true when
// ctx gained words.
bool extend_from_object(NodeId ctx, Cell* src);
// The set worker with an object target.
void set_fields(Cell* obj, Cell* value, bool any, bool only, bool some);
// Writes the fields (word: value) into a string buffer; answers the remaining limit.
int mold_fields(Cell* obj, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
                int indent, bool mold);
// The mold of a kind kept as an object's fields that always shows how it is made (`head` is
// "make error! [" or "make port! ["): its fields one level in, then the closing bracket.
int mold_made(const char* head, Cell* value, Cell* buffer, bool only, bool all, bool flat,
              Cell* part, int limit, int indent);
// For code with fixed object layouts.
Cell* push_compiled(NodeId ctx, int32_t class_id);
Cell* push_with_events(NodeId ctx, int32_t class_id, NodeId events);
bool class_of_word_q(const Cell* word, int32_t class_id);
bool class_of_slot_q(NodeId ctx, uint32_t index, int32_t class_id);

// ---- Change events ------------------------------------------------------------------------------

NodeId make_event_info(int32_t on_change, uint32_t count, NodeId spec, int32_t on_deep_change,
                       uint32_t deep_count, NodeId deep_spec);
NodeId scan_events(NodeId ctx);
// Gives the object its event record, takes ownership of its series when it has
// on-deep-change*, and refreshes the self slot.
void init_events(Cell* obj);
Cell* attach_events(int32_t on_change, uint32_t count, int32_t on_deep_change,
                    uint32_t deep_count);
bool deep_events_q(const Cell* obj);
void fire_on_change(Cell* obj, Cell* word, Cell* old_value, Cell* new_value);
void fire_on_deep_change(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* new_value,
                         int32_t index, int32_t part);
void fire_on_change_stack(Cell* obj, Cell* word);
void fire_on_change_by_word(Cell* obj_word, Cell* field_word);

// ---- Action handlers ------------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, int type);
Cell* reflect(Cell* value, uint32_t field_symbol);
int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt);
int compare(Cell* value1, Cell* value2, int op);
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse);
Cell* put(Cell* series, Cell* key, Cell* value, bool case_);
Cell* modify(Cell* target, Cell* field, Cell* value, bool case_);

}  // namespace tav::object

namespace tav::object_type {
void init();
}  // namespace tav::object_type
