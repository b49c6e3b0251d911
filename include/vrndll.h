/* Public interface of the vrndll recovery library, for host programs.
 *
 * A host loads the library at run time (vrndll.dll on Windows, libvrndll.so
 * on Linux), optionally hands over its cancel flag with SetBreakFlag, and
 * calls FileRecover once per dump file. All three exports use the cdecl
 * calling convention and undecorated names. The header is usable from C and
 * from C++.
 */
#ifndef VRNDLL_H
#define VRNDLL_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#define VRN_CDECL __cdecl
#else
#define VRN_CDECL
#endif

#if defined(VRNDLL_BUILDING)
#if defined(_WIN32)
#define VRNDLL_API __declspec(dllexport)
#else
#define VRNDLL_API __attribute__((visibility("default")))
#endif
#else
#define VRNDLL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Receives diagnostic texts and pass announcements. */
typedef void(VRN_CDECL *WriteDiag)(const char *text, uintptr_t user_data);
/* Receives a progress percentage 0..100; text is always the empty string. */
typedef void(VRN_CDECL *StatusBar)(const char *text, int percent, uintptr_t user_data);

/* Result codes of FileRecover. */
enum {
    VRN_RESULT_OK = 0,              /* the recovery ran to its end */
    VRN_RESULT_CANCELLED = -1000,   /* cancel flag set before the recovery started */
    VRN_RESULT_NO_SOURCE = -5,      /* dump not openable, or an output file failed */
    VRN_RESULT_NO_CATALOGUE = -3,   /* catalogue not found or detection gave up */
    VRN_RESULT_DRIVER_FAILED = -20, /* the recovery failed while reading the dump */
    VRN_RESULT_FAILED = -2          /* any other failure, also a cancel during the run */
};

/* Recovers source_path into a new dated folder below target_directory.
 * `reserved` is ignored. log_file may be null or empty. */
VRNDLL_API int VRN_CDECL FileRecover(const char *source_path, const char *target_directory,
                                     uintptr_t reserved, WriteDiag write_diag,
                                     StatusBar status_bar, uintptr_t user_data,
                                     const char *log_file);

/* Hands over the address of the host's one-byte cancel flag (1 = stop). */
VRNDLL_API void VRN_CDECL SetBreakFlag(bool *flag);

/* Always 0. */
VRNDLL_API int VRN_CDECL GetDllVersion(void);

/* Pointer types for hosts that look the exports up at run time. */
typedef int(VRN_CDECL *FileRecoverProc)(const char *, const char *, uintptr_t, WriteDiag,
                                        StatusBar, uintptr_t, const char *);
typedef void(VRN_CDECL *SetBreakFlagProc)(bool *);
typedef int(VRN_CDECL *GetDllVersionProc)(void);

#ifdef __cplusplus
}
#endif

#endif /* VRNDLL_H */
