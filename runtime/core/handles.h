// Handle tables: integer handles for platform objects (bitmaps, fonts, COM objects) that
// handle! and image! values hold, released through a per-kind callback when they die; and the
// slot table, a block of value cells that platform structures refer to by number.
//
// The entry table lives outside the collected heap (it is made before the first node frame
// and never moves under a value): a handle is the 0-based index of its entry and stays valid
// while the table grows.
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::handles {

using Release = void (*)(void* pointer);
using Visit = void (*)(void* pointer);

constexpr int MAX_KINDS = 20;
constexpr uint32_t INITIAL_ENTRIES = 1000;
constexpr uint32_t INITIAL_SLOTS = 100;
constexpr uint32_t KIND_MASK = 0xFF;
constexpr uint32_t ENTRY_FREE = 0x40000000;
constexpr uint32_t ENTRY_MARKED = 0x80000000;

struct Entry {
  uint32_t kind;     // kind id in bits 0-7, free bit 30, mark bit 31
  int32_t next;      // next entry of the used or free list, -1 at the end
  void* pointer;
};

// Runtime initialisation: the kind table and 1,000 free entries.
void init();

// Registers a kind (at most MAX_KINDS); answers its 1-based id.
int register_kind(const char* name, Release release);
// Takes a free entry for the pointer; the table doubles first when the last free entry is
// taken, so earlier handles keep their entries.
int32_t new_(void* pointer, int kind);
// Runs the kind's release callback (kind word AND 0xFF, from 1) on the pointer, if any.
void release(uint32_t kind_word, void* pointer);
// Stores a new pointer; a different old pointer is released.
void replace_pointer(int32_t handle, void* pointer);
// Frees a live handle (each handle once), releasing its pointer first when asked.
void free(int32_t handle, bool release_pointer);
// Marks the entry for the running collection; a non-null data replaces the pointer. True
// when the entry was not marked yet.
bool mark(int32_t handle, void* data);
void for_each_of_kind(int kind, Visit visit);
// The handle a byte series starts with (an image! node's), -1 when it holds none.
int32_t node_handle(NodeId node);
// After marking: releases and frees every unmarked used entry, unmarks the rest.
void sweep();

// Introspection.
void* pointer(int32_t handle);
int kind_of(int32_t handle);
const char* kind_name(int kind);
uint32_t capacity();
uint32_t used_count();

// The slot table. Slot numbers are 1-based; 0 is no slot.
void slot_init();
int32_t slot_new(const Cell* value);
Cell* slot_cell(int32_t slot);
void slot_free(int32_t slot);
uint32_t slot_capacity();

}  // namespace tav::handles
