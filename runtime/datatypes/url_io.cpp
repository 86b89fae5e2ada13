// url!'s I/O actions: http and https addresses go to the HTTP client; any other scheme is
// made into a port and handed to port!'s actions.
#include <cstdint>

#include "core/errors.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "datatypes/block.h"
#include "datatypes/port.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "services/http.h"

namespace tav::url {

namespace url_io_detail {

// True when the url's text starts with "http" (so https too), in any letter case.
bool is_http(const Cell* url) {
  const char* want = "http";
  if (string::length(url) < 4) return false;
  NodeId n = url->node();
  uint32_t from = string::clamped_index(url);
  for (uint32_t i = 0; i < 4; i++) {
    uint32_t c = string::char_at(n, from + i);
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    if (c != static_cast<uint32_t>(want[i])) return false;
  }
  return true;
}

[[noreturn]] void not_done() { error::raise(ERR_INTERNAL, "not-done"); }

Cell* answered(Cell* result, const Cell* url) {
  if (result->is(TYPE_NONE)) error::raise(ERR_ACCESS, "no-connect", url);
  return result;
}

bool is_body(const Cell* v) { return v->is(TYPE_STRING) || v->is(TYPE_BINARY); }

}  // namespace url_io_detail

using namespace url_io_detail;

Cell* to_port(Cell* url) {
  Cell* proto = set_none(stack::new_cell());
  return port::make(proto, url, TYPE_PORT);
}

// The port, opened: what the actor's open answers is not the url's business.
Cell* open(Cell* url, bool new_, bool read, bool write, bool seek, Cell* allow) {
  Cell* port = to_port(url);
  uint32_t port_at = stack::index_of(port);
  port::open(port, new_, read, write, seek, allow);
  stack::top = stack::at_index(port_at) + 1;
  return stack::at_index(port_at);
}

Cell* read(Cell* url, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
  if (!is_http(url)) {
    Cell* port = to_port(url);
    return port::read(port, part, seek, binary, lines, info, as);
  }
  if (part || seek || as) not_done();
  Cell* result = http::request(symbol::make("get"), url, nullptr, nullptr, binary, lines, info);
  return answered(result, url);
}

Cell* write(Cell* url, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part,
            Cell* seek, Cell* allow, Cell* as) {
  if (!is_http(url)) {
    Cell* port = to_port(url);
    return port::write(port, data, binary, lines, info, append, part, seek, allow, as);
  }
  if (seek || allow || as) not_done();
  uint32_t method = symbol::make("post");
  const Cell* headers = nullptr;
  const Cell* body = data;
  if (data->is(TYPE_BLOCK)) {
    int32_t n = block::rs_length(data);
    const Cell* v = block::rs_head(data);
    body = nullptr;
    if (n == 0) {
      method = symbol::make("get");
    } else {
      if (!v[0].is(TYPE_WORD)) error::raise(ERR_SCRIPT, "invalid-arg", &v[0]);
      method = symbol::alias(v[0].data2);
      if (n > 1) {
        if (!v[1].is(TYPE_BLOCK)) error::raise(ERR_SCRIPT, "invalid-arg", &v[1]);
        headers = &v[1];
      }
      if (n > 2) {
        if (!is_body(&v[2])) error::raise(ERR_SCRIPT, "invalid-arg", &v[2]);
        body = &v[2];
      }
    }
  } else if (!is_body(data)) {
    error::raise(ERR_SCRIPT, "invalid-arg", data);
  }
  Cell* result = http::request(method, url, headers, body, binary, lines, info);
  return answered(result, url);
}

}  // namespace tav::url
