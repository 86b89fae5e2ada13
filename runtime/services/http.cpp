#include "services/http.h"

#include <curl/curl.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <strings.h>
#include <mutex>
#include <string>
#include <vector>

#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/map.h"
#include "datatypes/string.h"
#include "datatypes/type_dispatch.h"
#include "datatypes/url.h"
#include "services/simple_io.h"

namespace tav::http {

namespace http_detail {

constexpr long CONNECT_TIMEOUT_SECONDS = 60;
constexpr long STALL_SECONDS = 30;
constexpr long MAX_REDIRECTS = 10;
constexpr const char* USER_AGENT = "Mozilla/5.0 (X11; Linux x86_64)";

void global_init() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The text of a value as a header name or value: a string as it is, a word by its name, any
// other value formed.
std::string text_of(const Cell* value, bool name) {
  if (value->is(TYPE_STRING)) return string::to_std_string(value);
  if (name && word::is_any_word(value->type()) && !value->is(TYPE_ISSUE) &&
      !value->is(TYPE_REFINEMENT))
    return symbol::get_c_string(value->data2);
  Cell* out = string::make_at(stack::new_cell(), 16);
  Cell copy = *value;
  Cell* held = stack::push(&copy);
  actions::form_direct(held, out, nullptr, INT_MAX);
  std::string text = string::to_std_string(stack::top - 2);
  stack::pop(2);
  return text;
}

// What a transfer collects. The body goes straight into a binary! held on the argument
// stack, so a large body is held once; an error raised while it grows (out of memory) must
// not cross libcurl's frames and is kept to be raised again when the transfer has ended.
struct Reply {
  std::string headers;   // the header lines of the last response (redirects dropped)
  uint32_t body_at = 0;  // stack index of the body binary
  std::exception_ptr failure;
};

Cell* body_cell(const Reply* reply) { return stack::at_index(reply->body_at); }

// Starts the body again, with room for `capacity` bytes.
bool restart_body(Reply* reply, uint32_t capacity) {
  try {
    binary::make_at(body_cell(reply), capacity);
    return true;
  } catch (...) {
    reply->failure = std::current_exception();
    return false;
  }
}

size_t on_body(char* data, size_t size, size_t count, void* user) {
  auto* reply = static_cast<Reply*>(user);
  size_t n = size * count;
  try {
    binary::append_bytes(body_cell(reply), reinterpret_cast<const uint8_t*>(data), n);
  } catch (...) {
    reply->failure = std::current_exception();
    return 0;   // ends the transfer
  }
  return n;
}

size_t on_header(char* data, size_t size, size_t count, void* user) {
  auto* reply = static_cast<Reply*>(user);
  size_t n = size * count;
  // A status line starts the headers of a new response (after a redirect or a 100 Continue).
  if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
    reply->headers.clear();
    return restart_body(reply, 0) ? n : 0;
  }
  // The announced length, so a large body is allocated once.
  if (n > 15 && strncasecmp(data, "Content-Length:", 15) == 0) {
    unsigned long long announced =
        std::strtoull(std::string(data + 15, n - 15).c_str(), nullptr, 10);
    if (announced > 0 && announced < (1ull << 31) &&
        !restart_body(reply, static_cast<uint32_t>(announced)))
      return 0;
  }
  if (n == 2 && data[0] == '\r' && data[1] == '\n') return n;
  if (n == 1 && data[0] == '\n') return n;
  reply->headers.append(data, n);
  return n;
}

// Owns the handle and the header list of one request.
struct Transfer {
  CURL* curl = nullptr;
  curl_slist* headers = nullptr;
  ~Transfer() {
    if (headers) curl_slist_free_all(headers);
    if (curl) curl_easy_cleanup(curl);
  }
  void add_header(const std::string& line) { headers = curl_slist_append(headers, line.c_str()); }
};

// The method text: get, head and post by their names, any other word's name upper-cased.
std::string method_text(uint32_t method_symbol) {
  std::string name = symbol::get_c_string(method_symbol);
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return name;
}

// The body bytes of the data: a string's UTF-8 from its index, a binary's bytes from its index.
std::string body_of(const Cell* data) {
  if (data->is(TYPE_BINARY)) {
    return std::string(reinterpret_cast<const char*>(binary::rs_head(data)),
                       binary::rs_length(data));
  }
  return string::to_std_string(data);
}

// The reply's body (the binary at body_at) as the caller asked for it, pushed.
Cell* push_body(const Reply& reply, bool binary, bool lines) {
  Cell body = *body_cell(&reply);
  if (binary) return stack::push(&body);
  NodeId n = body.node();
  uint32_t len = binary::rs_length(&body);
  uint8_t* p = binary::rs_head(&body);
  uint32_t from = len >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF ? 3 : 0;
  if (lines) {
    std::string bytes(reinterpret_cast<const char*>(p) + from, len - from);
    return simple_io::lines_to_block(reinterpret_cast<const uint8_t*>(bytes.data()),
                                     bytes.size());
  }
  // CR LF read as LF, in place: the binary is not seen by anyone else.
  uint32_t out = from;
  for (uint32_t i = from; i < len; i++) {
    if (p[i] == '\r' && i + 1 < len && p[i + 1] == '\n') continue;
    p[out++] = p[i];
  }
  if (out == from) return string::make_at(stack::new_cell(), 1);
  return string::load_series(n, from, out - from, stack::new_cell(), string::ENCODING_UTF8);
}

}  // namespace http_detail

Cell* parse_headers(const char* text, size_t length) {
  Cell* map = map::make_at(stack::new_cell(), 20);
  uint32_t map_at = stack::index_of(map);
  size_t i = 0;
  while (i < length) {
    size_t eol = i;
    while (eol < length && text[eol] != '\n') eol++;
    size_t end = eol;
    if (end > i && text[end - 1] == '\r') end--;
    const char* colon = static_cast<const char*>(std::memchr(text + i, ':', end - i));
    if (colon && colon > text + i) {
      size_t name_len = static_cast<size_t>(colon - (text + i));
      size_t v = static_cast<size_t>(colon - text) + 1;
      while (v < end && (text[v] == ' ' || text[v] == '\t')) v++;
      size_t v_end = end;
      while (v_end > v && (text[v_end - 1] == ' ' || text[v_end - 1] == '\t')) v_end--;
      Cell key = word::make(symbol::make(text + i, name_len));
      Cell* value = string::load(reinterpret_cast<const uint8_t*>(text + v), v_end - v,
                                 stack::new_cell(), string::ENCODING_UTF8);
      uint32_t value_at = stack::index_of(value);
      Cell* present = map::find_value(stack::at_index(map_at), &key, COMP_EQUAL);
      if (!present) {
        map::put_value(stack::at_index(map_at), &key, stack::at_index(value_at), false);
      } else if (present->is(TYPE_BLOCK)) {
        Cell blk = *present;
        block::append_cell(&blk, stack::at_index(value_at));
      } else {
        Cell first = *present;
        Cell* blk = block::push_only(4);
        block::append_cell(blk, &first);
        block::append_cell(blk, stack::at_index(value_at));
        map::put_value(stack::at_index(map_at), &key, blk, false);
      }
      stack::top = stack::at_index(map_at) + 1;
    }
    i = eol + 1;
  }
  return stack::at_index(map_at);
}

Cell* request(uint32_t method_symbol, const Cell* url, const Cell* headers, const Cell* data,
              bool binary, bool lines, bool info) {
  using namespace http_detail;
  global_init();
  uint32_t result_at = stack::index_of(set_none(stack::new_cell()));
  std::string method = method_text(method_symbol);
  bool bodiless = method == "GET" || method == "HEAD";
  // The url's text holds its escapes decoded; the request line takes them encoded again.
  std::string url_text;
  {
    Cell* wire = string::make_at(stack::new_cell(), 64);
    url::encode(url, wire->node(), url::ENCODE_URL);
    url_text = string::to_std_string(wire);
    stack::pop(1);
  }

  Transfer t;
  t.curl = curl_easy_init();
  if (!t.curl) return stack::at_index(result_at);
  // Header lines, taken from the values before the transfer starts.
  bool content_type = false;
  if (headers) {
    Cell blk = *headers;
    int32_t n = block::rs_length(&blk);
    for (int32_t k = 0; k + 1 < n; k += 2) {
      Cell name_cell = block::rs_head(&blk)[k];
      Cell value_cell = block::rs_head(&blk)[k + 1];
      std::string name = text_of(&name_cell, true);
      std::string value = text_of(&value_cell, false);
      if (strcasecmp(name.c_str(), "Content-Type") == 0) content_type = true;
      // "Name;" is libcurl's way of sending a header with an empty value.
      t.add_header(value.empty() ? name + ";" : name + ": " + value);
    }
    // libcurl adds a form content type to a body of its own accord; a header block given
    // here is the whole set.
    if (!content_type) t.add_header("Content-Type:");
  } else {
    t.add_header("Content-Type: application/x-www-form-urlencoded");
    t.add_header("Accept-Charset: UTF-8");
    t.add_header(std::string("User-Agent: ") + USER_AGENT);
  }
  t.add_header("Expect:");
  std::string body;
  bool has_body = !bodiless && data && (data->is(TYPE_STRING) || data->is(TYPE_BINARY));
  if (has_body) body = body_of(data);

  Reply reply;
  reply.body_at = stack::index_of(binary::make_at(stack::new_cell(), 0));
  CURL* c = t.curl;
  curl_easy_setopt(c, CURLOPT_URL, url_text.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, MAX_REDIRECTS);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, CONNECT_TIMEOUT_SECONDS);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, STALL_SECONDS);
  curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, t.headers);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &reply);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &reply);
  if (method == "GET") {
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  } else if (method == "HEAD") {
    curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
  } else {
    if (method != "POST") curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (has_body || method == "POST") {
      curl_easy_setopt(c, CURLOPT_POST, 1L);
      curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    }
  }
  CURLcode done = curl_easy_perform(c);
  if (reply.failure) std::rethrow_exception(reply.failure);
  if (done != CURLE_OK) {
    stack::top = stack::at_index(result_at) + 1;
    return stack::at_index(result_at);
  }
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);

  if (!info) {
    Cell made = *push_body(reply, binary, lines);
    *stack::at_index(result_at) = made;
    stack::top = stack::at_index(result_at) + 1;
    return stack::at_index(result_at);
  }
  Cell* blk = block::make_at(stack::at_index(result_at), 3);
  Cell code;
  set_integer(&code, static_cast<int32_t>(status));
  block::append_cell(blk, &code);
  Cell map = *parse_headers(reply.headers.data(), reply.headers.size());
  block::append_cell(stack::at_index(result_at), &map);
  std::string().swap(reply.headers);
  Cell made = *push_body(reply, binary, lines);
  block::append_cell(stack::at_index(result_at), &made);
  stack::top = stack::at_index(result_at) + 1;
  return stack::at_index(result_at);
}

}  // namespace tav::http
