/* VORDEX: a flat C call surface onto relational data reached through ODBC.
 *
 * Every function runs on the caller's thread and returns when it is done.
 * Failures reach the user through the library's message display; the host
 * sees only a 0 result or an empty text. Texts are NUL-terminated byte
 * strings in the host's code page. A text handed out stays valid until the
 * library next changes the value it belongs to. */
#ifndef VORDEX_H
#define VORDEX_H

#if defined(_WIN32)
#  if defined(VORDEX_BUILDING)
#    define VORDEX_API __declspec(dllexport)
#  else
#    define VORDEX_API __declspec(dllimport)
#  endif
#else
#  define VORDEX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** The library's version constant, 0x20070. */
VORDEX_API int VORDEX_GetVersion(void);

/** 1 while the library holds a connection object (connected or not), else 0. */
VORDEX_API int VORDEX_IsOpen(void);

/** Closes the open record and the connection and drops the connection object. */
VORDEX_API void VORDEX_Close(void);

#ifdef __cplusplus
}
#endif

#endif /* VORDEX_H */
