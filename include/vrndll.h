/* Public interface of the vrndll recovery library, for host programs.
 *
 * A host loads the library at run time (vrndll.dll on Windows, libvrndll.so
 * on Linux), optionally hands over its cancel flag with SetBreakFlag, and
 * calls FileRecover once per dump file (or FileRecoverEx, below). All exports use the cdecl
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

/* ------------------------------------------------------------------------
 * The extended entry point: FileRecoverEx.
 *
 * Takes an options record and fills a report. Every record starts with its
 * size as the host knows it (set it to sizeof the record after zeroing the
 * record): fields beyond that size are taken as zero, so the records can grow
 * without breaking a host built against an older header. Every field lies at
 * the same offset for 32- and 64-bit hosts: 64-bit values sit on 8-byte
 * offsets, and pointers (texts, callbacks) each take an 8-byte slot.
 * ------------------------------------------------------------------------ */

#define VRN_SLOT(type, name) \
    union {                  \
        type name;           \
        uint64_t name##_slot; \
    }

/* Progress, sent at most a few times a second and once at the end. */
typedef struct VrnProgress {
    uint32_t size;
    uint32_t pass;            /* 1 analysing, 2 schema, 3 rows */
    uint64_t bytes_scanned;   /* dump bytes read so far (pages read x page size) */
    uint64_t bytes_total;     /* size of the dump */
    uint64_t pages_read;
    uint64_t pages_total;     /* pages in the dump */
    uint64_t rows_written;
    char database[256];       /* the database being recovered, "" before the first */
    char table[256];          /* the table being recovered, "" when none */
} VrnProgress;

/* One table's account, a database's sums (kind 1, table ""), or a database
 * the dump lists but whose catalogue is not in it: lost whole (kind 2). */
enum { VRN_TABLE_ENTRY = 0, VRN_DATABASE_ENTRY = 1, VRN_LOST_DATABASE_ENTRY = 2 };
typedef struct VrnTableReport {
    uint32_t size;
    int32_t kind;             /* VRN_TABLE_ENTRY or VRN_DATABASE_ENTRY */
    uint64_t rows_written;    /* in list mode: rows found */
    uint64_t rows_skipped;    /* rows whose layout could not be true */
    uint64_t pages_read;
    uint64_t pages_unreadable;
    uint64_t chains_broken;   /* chains that stopped early (loop, outside the dump, wrong owner) */
    uint64_t values_null;     /* values written as NULL because they could not be read */
    char database[256];
    char table[256];
    VRN_SLOT(const char *, columns); /* "name type, ..." of the table's columns */
    uint64_t chains_continued; /* broken data chains that went on with the table's pages found by their headers */
    uint64_t values_changed;   /* values written other than stored (see VrnReport.values_changed) */
    uint64_t scripts_not_created; /* script files that could not be created (something in their way): their texts are lost */
    uint64_t rows_not_written;    /* rows read that went to such a script */
    VRN_SLOT(const char *, reason);  /* VRN_LOST_DATABASE_ENTRY: why the database is lost */
} VrnTableReport;

/* Level of a diagnostic. VRN_DIAG_NOTE: something a summary of the run
 * should name (a foreign key or object text left out of a selection, a
 * database name the load scripts cannot pass on). */
enum { VRN_DIAG_INFO = 2, VRN_DIAG_ERROR = 3, VRN_DIAG_NOTE = 4 };

typedef void(VRN_CDECL *VrnProgressProc)(const VrnProgress *progress, uintptr_t user_data);
typedef void(VRN_CDECL *VrnDiagProc)(int level, const char *text, uintptr_t user_data);
typedef void(VRN_CDECL *VrnTableProc)(const VrnTableReport *table, uintptr_t user_data);

/* Template modes: auto (an int0.ini beside the dump switches it on), off,
 * or the file named by template_file. */
enum { VRN_TEMPLATE_AUTO = 0, VRN_TEMPLATE_OFF = 1, VRN_TEMPLATE_FILE = 2 };
/* What the databases are written as: T-SQL scripts with commit.bat and
   commit.sh, a load.sql for psql or for the sqlite3 shell, or CSV files. */
enum { VRN_FORMAT_TSQL = 0, VRN_FORMAT_POSTGRES = 1, VRN_FORMAT_SQLITE = 2, VRN_FORMAT_CSV = 3 };

/* Flags of VrnOptions. */
enum {
    VRN_SCHEMA_ONLY = 1, /* table scripts, no data scripts */
    VRN_DATA_ONLY = 2,   /* data scripts, no table scripts */
    VRN_LIST_ONLY = 4,   /* nothing written: tables and their rows reported */
    VRN_STANDARD_OUTPUT = 8 /* postgres or sqlite: one stream on standard output instead of
                               folders (sqlite: of one database, chosen by `databases`); no
                               folder, manifest or description file is made */
};

typedef struct VrnOptions {
    uint32_t size;
    uint32_t flags;          /* VRN_SCHEMA_ONLY, VRN_DATA_ONLY, VRN_LIST_ONLY, VRN_STANDARD_OUTPUT */
    int32_t template_mode;   /* VRN_TEMPLATE_* */
    int32_t rows_per_file;   /* rows a data script may exceed before the next; 0: 100 */
    int32_t log_level;       /* 1 debug, 2 info, 3 error, 4 assert; 0: the LogLevel setting */
    int32_t reserved;
    VRN_SLOT(const char *, target_directory); /* the dated output folder is made below it */
    VRN_SLOT(const char *, output_folder);    /* exact output folder (made with its parents); NULL: dated */
    VRN_SLOT(const char *, databases);        /* patterns (* and ?), one per line; NULL: all */
    VRN_SLOT(const char *, tables);           /* patterns, one per line; NULL: all */
    VRN_SLOT(const char *, template_file);    /* for VRN_TEMPLATE_FILE */
    VRN_SLOT(const char *, log_file);         /* appended to; NULL: a temporary log */
    VRN_SLOT(VrnProgressProc, progress);
    VRN_SLOT(VrnDiagProc, diagnostic);
    VRN_SLOT(VrnTableProc, table_done);       /* after each table and each database */
    uint64_t user_data;                       /* handed back to the callbacks */
    int32_t output_format;                    /* VRN_FORMAT_*; 0: the T-SQL scripts */
    int32_t reserved2;
    VRN_SLOT(const char *, charset);          /* the server's character set (iso_1, cp1252, ...); NULL: the default */
    int32_t threads;                          /* threads that decode rows; 0 or 1: the caller's thread alone.
                                                 The output is the same for every count; the callbacks are
                                                 called on the caller's thread only */
    int32_t reserved3;
} VrnOptions;

/* Outcome of FileRecoverEx (VrnReport.status and its result). */
enum {
    VRN_STATUS_OK = 0,               /* recovered, nothing lost */
    VRN_STATUS_LOSSES = 1,           /* recovered with losses (see the counts) */
    VRN_STATUS_CANCELLED = 2,
    VRN_STATUS_NO_SOURCE = 3,        /* the dump could not be opened (message: why) */
    VRN_STATUS_OUTPUT_FAILED = 4,    /* an output folder or file could not be made or written */
    VRN_STATUS_NO_CATALOGUE = 5,     /* no database catalogue found */
    VRN_STATUS_FAILED = 6,           /* reading the dump failed */
    VRN_STATUS_COMPANION_MISSING = 7,/* the companion library tlvcmn is missing or incomplete */
    VRN_STATUS_COMPRESSED = 8,       /* a gzip or zlib stream: decompress it first */
    VRN_STATUS_BIG_ENDIAN = 9,       /* written by a big-endian server: not supported */
    VRN_STATUS_BAD_OPTIONS = 10,     /* a null or too small record, or options that contradict */
    VRN_STATUS_NOTHING_MATCHED = 11  /* a database or table pattern matched nothing (message: which);
                                        what the other patterns selected was recovered */
};

typedef struct VrnReport {
    uint32_t size;
    int32_t status;          /* VRN_STATUS_* */
    int32_t lost;            /* nonzero when anything was lost */
    uint32_t databases;      /* databases recovered (listed in list mode) */
    uint32_t tables;         /* tables with a script or with rows (listed in list mode) */
    uint32_t databases_lost; /* databases listed in the dump whose catalogue could not be read */
    uint64_t rows_written;
    uint64_t rows_skipped;
    uint64_t pages_read;
    uint64_t pages_unreadable;
    uint64_t chains_broken;
    uint64_t values_null;
    uint64_t bytes_total;    /* size of the dump */
    char output_folder[1024]; /* the folder really written, "" when none */
    char message[512];        /* what went wrong, with the system's reason */
    uint64_t chains_continued; /* broken data chains that went on with the pages found by their headers */
    uint64_t values_changed;   /* values written other than stored: a NaN or an infinity (no literal loads
                                  them back), a date or time out of its type's range (written as NULL, or
                                  as the nearest valid value in a column without NULL); each is named in
                                  the log */
    uint64_t scripts_not_created; /* script files that could not be created: their texts are lost */
    uint64_t rows_not_written;    /* rows read that went to such a script */
} VrnReport;

/* Recovers source_path as the options say and fills the report. Returns the
 * report's status. Runs on the caller's thread, with threads of its own
 * only when options->threads asks for them; the cancel flag of SetBreakFlag
 * is honoured (by every thread, within a page). */
VRNDLL_API int VRN_CDECL FileRecoverEx(const char *source_path, const VrnOptions *options,
                                       VrnReport *report);

/* Pointer types for hosts that look the exports up at run time. */
typedef int(VRN_CDECL *FileRecoverProc)(const char *, const char *, uintptr_t, WriteDiag,
                                        StatusBar, uintptr_t, const char *);
typedef void(VRN_CDECL *SetBreakFlagProc)(bool *);
typedef int(VRN_CDECL *GetDllVersionProc)(void);
typedef int(VRN_CDECL *FileRecoverExProc)(const char *, const VrnOptions *, VrnReport *);

#ifdef __cplusplus
}
#endif

#endif /* VRNDLL_H */
