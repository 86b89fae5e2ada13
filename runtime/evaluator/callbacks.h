// What every call of a language function made on the runtime's own behalf shares (the
// evaluator's tracer, the lexer's and the parse engine's trace call-backs): the event filter
// a call-back declares by opening its body with a block of event words, and the padding of
// its frame beyond the arguments the runtime passes.
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::callbacks {

// The events a call-back wants, as bits: `events[k]` is the symbol of the event of bit 1 << k.
// A block opening the body names the wanted events (words of any kind, any letter case;
// other words count for nothing); a body opening with anything else wants them all.
uint32_t event_filter(const Cell* fn, const uint32_t* events, uint32_t count);

// Pushes a call-back's arguments into its open frame: the given values for its leading
// arguments (none for those beyond `count`), then false for each refinement and none for
// each refinement's argument. Answers how many leading arguments the function takes.
uint32_t push_arguments(const Cell* fn, const Cell* args, uint32_t count);

}  // namespace tav::callbacks
