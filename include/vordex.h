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
#    define VORDEX_API /* the exports are those of api/vordex.def */
#  else
#    define VORDEX_API __declspec(dllimport)
#  endif
#else
#  define VORDEX_API __attribute__((visibility("default")))
#endif

/* The calling convention of every function: __stdcall in 32-bit Windows, the
 * convention of VBA's Declare and of the Windows API (the function removes
 * its own arguments); the platform's only one elsewhere. */
#if defined(_WIN32) && !defined(_WIN64)
#  define VORDEX_CALL __stdcall
#else
#  define VORDEX_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** The library's version constant, 0x20070. */
VORDEX_API int VORDEX_CALL VORDEX_GetVersion(void);

/** 1 while the library holds a connection object (connected or not), else 0. */
VORDEX_API int VORDEX_CALL VORDEX_IsOpen(void);

/** Closes the open record and the connection and drops the connection object. */
VORDEX_API void VORDEX_CALL VORDEX_Close(void);

/* Table and name lists. */

/** Connects anew (the data source is chosen as the README describes) and
 *  lists up to 32 table names. Returns how many were listed; 0 on failure. */
VORDEX_API int VORDEX_CALL VORDEX_Table(void);

/** Table name `index` (0-based) of the last VORDEX_Table, or "". */
VORDEX_API const char* VORDEX_CALL VORDEX_GetTableList(int index);

/** The directory of a file-based data source (its DefaultDir), otherwise the
 *  qualifier of the first listed table; "" when there is no connection object. */
VORDEX_API const char* VORDEX_CALL VORDEX_GetDirName(void);

/** Lists the columns of `tableName` and makes it the table VORDEX_OpenRec
 *  opens. Returns the column count (at most 512); 0 on failure. */
VORDEX_API int VORDEX_CALL VORDEX_Open(const char* tableName);

/** Column name `index` (0-based, below 32) of the last VORDEX_Open, or "". */
VORDEX_API const char* VORDEX_CALL VORDEX_GetNameList(int index);

/* Reading records. */

/** Opens the table of the last VORDEX_Open on its first row. Returns 1 when a
 *  record is open (also when one was open already), 0 on failure. */
VORDEX_API int VORDEX_CALL VORDEX_OpenRec(void);

/** Closes the open record, if any. */
VORDEX_API void VORDEX_CALL VORDEX_CloseRec(void);

/** Non-zero past the last row, for an empty table, or when no record is open. */
VORDEX_API int VORDEX_CALL VORDEX_IsEOF(void);

/** Moves to the next row. Returns 1 when moved, 0 on failure. */
VORDEX_API int VORDEX_CALL VORDEX_MoveNext(void);

/** Moves to row `row` (0-based). Returns 1 when moved, 0 on failure. */
VORDEX_API int VORDEX_CALL VORDEX_Seek(int row);

/** Field `index` (0-based, below 32) of the current row as text; NULL reads
 *  as "". Valid until the record moves, is updated or closes. */
VORDEX_API const char* VORDEX_CALL VORDEX_GetData(int index);

/** Writes the current row into `buffer` (`size` bytes): each value followed
 *  by the byte 0x1E, then a NUL. Returns the number of values when all
 *  fitted, `size` when one did not (the values before it are written), and 0
 *  when no record is open, `buffer` is null or `size` is below 1. */
VORDEX_API int VORDEX_CALL VORDEX_ListText(char* buffer, int size);

/* Writing a field. */

/** Non-zero when the open record accepts changes (the same for every valid
 *  field index); 0 with no record or an index out of range. */
VORDEX_API int VORDEX_CALL VORDEX_CanUpdate(int index);

/** Writes `value` into field `index` of the current row at once. The value is
 *  cut to the column's catalog length (and to 255 bytes) at a character
 *  boundary; an empty value writes NULL. Returns 1 when done (also when the
 *  field already held the value and nothing was written), 0 on failure. */
VORDEX_API int VORDEX_CALL VORDEX_Update(int index, const char* value);

#ifdef __cplusplus
}
#endif

#endif /* VORDEX_H */
