// port!: an object made from system/standard/port that stands for an external resource. The
// runtime does no I/O for it: every series or I/O action applied to a port calls the function
// of the same name in the port's actor object, which its scheme (system/schemes) supplies.
#pragma once
#include "core/cell.h"

namespace tav::port {

// Field positions in system/standard/port.
enum Field : uint32_t { SPEC = 0, SCHEME = 1, ACTOR = 2 };

// make port! from a url-parts block or a spec object: checks the scheme word, finds the
// scheme in system/schemes and takes its actor. Raises access no-scheme, unknown-scheme or
// invalid-actor.
Cell* make(Cell* proto, Cell* spec, int type);
// The port's open action with the given flags (the actor's open), as url! open uses it.
Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow);
Cell* read(Cell* port, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);
Cell* write(Cell* port, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part,
            Cell* seek, Cell* allow, Cell* as);

}  // namespace tav::port

namespace tav::port_type {
// Registers port! under object! (after date!).
void init();
}  // namespace tav::port_type
