// The evaluator's switches, in one record: which tiers may run and what a tracer follows.
// The hot paths read them under their short names (interp::fast_tiers, trace::active...),
// which are bound to the record's fields at compile time: a read is one load from a fixed
// address, as for a plain global.
#pragma once
#include <cstdint>

namespace tav::evaluator {

// The trace events a tracer without a filter receives: all of them.
constexpr uint32_t ALL_TRACE_EVENTS = 0x1FFFF;

struct Switches {
  bool fast_tiers = true;        // the fast tiers may run now (off while a tracer is installed)
  bool tiers = true;             // the start-up setting: TAV_TIERS=off, tav-eval --tiers off
  bool trace_active = false;     // trace events are delivered now
  bool trace_installed = false;  // a do/trace tracer is in place
  uint32_t trace_mask = ALL_TRACE_EVENTS;  // the events the tracer asks for
  uint32_t callback_bits = 0;    // the call-back kinds followed while tracing
  uint32_t in_tracer = 0;        // tracer calls running (a trace attribute must not switch
                                 // tracing back on inside one)
};
extern Switches switches;

}  // namespace tav::evaluator
