// The HTTP client: one synchronous request per call, on libcurl. Redirects are followed (at
// most ten), a connection gets 60 seconds, a reply that stalls for 30 seconds fails, gzip and
// deflate bodies are unpacked, and https checks the peer against the system's CA store.
#pragma once
#include <cstddef>
#include <cstdint>
#include "core/cell.h"

namespace tav::http {

// Sends the request and pushes its answer: the body (a string! decoded from UTF-8 with CR LF
// read as LF, a binary! with binary, a block of lines with lines), or with info a block of
// the status integer, the headers map (parse_headers) and the body. Pushes none when the
// request could not be made or answered; an HTTP error status still answers its body.
// method: the symbol of the method word (get, head and post as such, any other word's name
// upper-cased). headers: a block of names and values (null: the default headers). data: a
// string! or binary! body, or null; GET and HEAD never send one.
Cell* request(uint32_t method_symbol, const Cell* url, const Cell* headers, const Cell* data,
              bool binary, bool lines, bool info);

// The response header lines ("Name: value", each ended by CR LF or LF) as a map! whose keys
// are words and values strings; a header given more than once maps to a block of its values
// in order. Blanks after the colon are optional; a line without a colon is skipped. Pushes
// and answers the map.
Cell* parse_headers(const char* text, size_t length);

}  // namespace tav::http
