#pragma once

// libcurl is opened when the first request is made, not when the program
// starts: the login screen makes none, and curl brings two dozen libraries
// (TLS, Kerberos, LDAP and more) whose loading was a fifth of the dynamic
// loader's work at every start. Include this instead of <curl/curl.h>; each
// curl call below goes through a pointer looked up once.

#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include "platform/foundation/LazyLibrary.h"

namespace hestio::platform::curl {

/// The curl library.
[[nodiscard]] LazyLibrary& library();

}

// curl's header checks these two calls' arguments by macros of the same names.
#undef curl_easy_getinfo
#undef curl_easy_setopt

#define HESTIO_CURL_LAZY(name) HESTIO_LAZY_FUNCTION(::hestio::platform::curl::library(), name)

#define curl_easy_cleanup(...) HESTIO_CURL_LAZY(curl_easy_cleanup)(__VA_ARGS__)
#define curl_easy_getinfo(...) HESTIO_CURL_LAZY(curl_easy_getinfo)(__VA_ARGS__)
#define curl_easy_init(...) HESTIO_CURL_LAZY(curl_easy_init)(__VA_ARGS__)
#define curl_easy_perform(...) HESTIO_CURL_LAZY(curl_easy_perform)(__VA_ARGS__)
#define curl_easy_setopt(...) HESTIO_CURL_LAZY(curl_easy_setopt)(__VA_ARGS__)
#define curl_easy_strerror(...) HESTIO_CURL_LAZY(curl_easy_strerror)(__VA_ARGS__)
#define curl_global_init(...) HESTIO_CURL_LAZY(curl_global_init)(__VA_ARGS__)
#define curl_multi_add_handle(...) HESTIO_CURL_LAZY(curl_multi_add_handle)(__VA_ARGS__)
#define curl_multi_cleanup(...) HESTIO_CURL_LAZY(curl_multi_cleanup)(__VA_ARGS__)
#define curl_multi_info_read(...) HESTIO_CURL_LAZY(curl_multi_info_read)(__VA_ARGS__)
#define curl_multi_init(...) HESTIO_CURL_LAZY(curl_multi_init)(__VA_ARGS__)
#define curl_multi_perform(...) HESTIO_CURL_LAZY(curl_multi_perform)(__VA_ARGS__)
#define curl_multi_poll(...) HESTIO_CURL_LAZY(curl_multi_poll)(__VA_ARGS__)
#define curl_multi_remove_handle(...) HESTIO_CURL_LAZY(curl_multi_remove_handle)(__VA_ARGS__)
#define curl_multi_wakeup(...) HESTIO_CURL_LAZY(curl_multi_wakeup)(__VA_ARGS__)
#define curl_slist_append(...) HESTIO_CURL_LAZY(curl_slist_append)(__VA_ARGS__)
#define curl_slist_free_all(...) HESTIO_CURL_LAZY(curl_slist_free_all)(__VA_ARGS__)
