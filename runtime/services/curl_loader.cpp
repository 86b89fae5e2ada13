// libcurl is opened when the first HTTP request is made, not when the program starts: with
// the libraries it pulls in (TLS, Kerberos, LDAP, SSH...) it is a large share of what the
// dynamic loader maps and relocates before main, for a feature most runs never use. The
// functions the HTTP client calls are defined here under libcurl's own names and forward to
// the library; the program exports none of them, so libcurl's calls among its own functions
// never land here. When the library cannot be opened, the calls fail as libcurl's do: no
// handle, an error code.
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>
#include <mutex>

// The type-checking wrappers of curl.h are macros of these names.
#undef curl_easy_setopt
#undef curl_easy_getinfo

namespace {

struct Api {
  CURLcode (*global_init)(long) = nullptr;
  CURL* (*easy_init)() = nullptr;
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*easy_perform)(CURL*) = nullptr;
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...) = nullptr;
  void (*easy_cleanup)(CURL*) = nullptr;
  curl_slist* (*slist_append)(curl_slist*, const char*) = nullptr;
  void (*slist_free_all)(curl_slist*) = nullptr;
};

template <class F>
void bind(void* lib, F* fn, const char* name) {
  *fn = reinterpret_cast<F>(dlsym(lib, name));
}

const Api& api() {
  static Api a;
  static std::once_flag once;
  std::call_once(once, [] {
    void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return;
    Api loaded;
    bind(lib, &loaded.global_init, "curl_global_init");
    bind(lib, &loaded.easy_init, "curl_easy_init");
    bind(lib, &loaded.easy_setopt, "curl_easy_setopt");
    bind(lib, &loaded.easy_perform, "curl_easy_perform");
    bind(lib, &loaded.easy_getinfo, "curl_easy_getinfo");
    bind(lib, &loaded.easy_cleanup, "curl_easy_cleanup");
    bind(lib, &loaded.slist_append, "curl_slist_append");
    bind(lib, &loaded.slist_free_all, "curl_slist_free_all");
    if (loaded.global_init && loaded.easy_init && loaded.easy_setopt && loaded.easy_perform &&
        loaded.easy_getinfo && loaded.easy_cleanup && loaded.slist_append && loaded.slist_free_all)
      a = loaded;
  });
  return a;
}

// The one argument after the option: a long, a pointer or a curl_off_t, all passed alike in
// one integer register on this platform, so it is handed on as it came.
void* variadic_argument(va_list ap) { return va_arg(ap, void*); }

}  // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
  return api().global_init ? api().global_init(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() { return api().easy_init ? api().easy_init() : nullptr; }

CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
  va_list ap;
  va_start(ap, option);
  void* value = variadic_argument(ap);
  va_end(ap);
  return api().easy_setopt ? api().easy_setopt(curl, option, value) : CURLE_FAILED_INIT;
}

CURLcode curl_easy_perform(CURL* curl) {
  return api().easy_perform ? api().easy_perform(curl) : CURLE_FAILED_INIT;
}

CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
  va_list ap;
  va_start(ap, info);
  void* out = variadic_argument(ap);
  va_end(ap);
  return api().easy_getinfo ? api().easy_getinfo(curl, info, out) : CURLE_FAILED_INIT;
}

void curl_easy_cleanup(CURL* curl) {
  if (api().easy_cleanup) api().easy_cleanup(curl);
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
  return api().slist_append ? api().slist_append(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
  if (api().slist_free_all) api().slist_free_all(list);
}

}  // extern "C"
