// The cycle stack: series and context nodes that mold, form, compare and the ownership walk
// are inside, so that a value containing itself is written as a marker instead of looping.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav::cycles {

constexpr uint32_t CAPACITY = 1000;   // at most 999 levels open at once

void push(NodeId n);                   // raises internal too-deep when full (emptied first)
void pop();
void pop_n(uint32_t n);
void reset();
bool find(NodeId n);
uint32_t depth();
void restore_depth(uint32_t d);       // catchers put the stack back as they found it
NodeId* entries();                     // for the collector's relocation

}  // namespace tav::cycles
