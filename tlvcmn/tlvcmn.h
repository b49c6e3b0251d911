/* The companion library of vrndll: product name, home page address, the
 * progress texts, and the settings file.
 *
 * vrndll loads it at run time (tlvcmn.dll on Windows, libtlvcmn.so on
 * Linux) and looks the five functions up by their undecorated names; all
 * use the cdecl calling convention.
 */
#ifndef TLVCMN_H
#define TLVCMN_H

#if defined(_WIN32)
#define TLVCMN_CDECL __cdecl
#define TLVCMN_API __declspec(dllexport)
#else
#define TLVCMN_CDECL
#define TLVCMN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Called before any other function with 256 + the caller's product number.
 * Returns 1. */
TLVCMN_API int TLVCMN_CDECL Initialize(int product);

/* Writes the product's display name into `buffer` (100 bytes). Returns its
 * length. */
TLVCMN_API int TLVCMN_CDECL GetFullName(char *buffer);

/* Writes the product's home page address into `buffer` (100 bytes). Returns
 * its length. */
TLVCMN_API int TLVCMN_CDECL GetHomeURL(char *buffer);

/* Writes progress text `text_no` (1 done, 2 pass label, 3..5 the texts of
 * passes 1..3) into `buffer`, which holds *size + 1 bytes, and sets *size to
 * the text's length. An unknown text number gives the empty text. Returns
 * the length. */
TLVCMN_API int TLVCMN_CDECL GetString(int product, int text_no, char *buffer, int *size);

/* Reads `key` of `section` (an empty section means "vrndll") from tlvcmn.ini
 * beside this library; `def` when missing. The environment variable
 * VRN_LOGLEVEL, when set, overrides the key LogLevel. Writes at most
 * size - 1 bytes and a terminator into `out`. Returns the length written. */
TLVCMN_API int TLVCMN_CDECL ReadProfileString(const char *section, const char *key,
                                               const char *def, char *out, int size, int flags);

#ifdef __cplusplus
}
#endif

#endif /* TLVCMN_H */
