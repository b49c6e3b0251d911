// What a recovery wrote and what it lost, counted as the rows are read.
#pragma once

#include <cstdint>

struct RecoveryCounts {
    uint64_t rows_written = 0;
    uint64_t rows_skipped = 0;     // rows whose layout cannot be true
    uint64_t pages_read = 0;       // data pages read
    uint64_t pages_unreadable = 0; // data pages whose rows could not be read (wholly or from a point on)
    uint64_t chains_broken = 0;    // data, text or image chains that stopped before their end
    uint64_t values_null = 0;      // values written as NULL because their bytes were not there
    uint64_t chains_continued = 0; // broken data chains that went on with the table's pages found by their headers
    uint64_t values_changed = 0;   // values written other than stored: no literal loads them back (NaN, an
                                   // infinity), or their date or time is out of the type's range

    uint64_t scripts_not_created = 0; // script files that could not be created: their texts are lost
    uint64_t rows_not_written = 0;    // rows read whose script could not be created

    bool AnyLoss() const {
        return rows_skipped != 0 || pages_unreadable != 0 || chains_broken != 0 || values_null != 0 ||
               values_changed != 0 || scripts_not_created != 0 || rows_not_written != 0;
    }
    RecoveryCounts &operator+=(const RecoveryCounts &o) {
        rows_written += o.rows_written;
        rows_skipped += o.rows_skipped;
        pages_read += o.pages_read;
        pages_unreadable += o.pages_unreadable;
        chains_broken += o.chains_broken;
        values_null += o.values_null;
        chains_continued += o.chains_continued;
        values_changed += o.values_changed;
        scripts_not_created += o.scripts_not_created;
        rows_not_written += o.rows_not_written;
        return *this;
    }
    RecoveryCounts operator-(const RecoveryCounts &o) const {
        RecoveryCounts d;
        d.rows_written = rows_written - o.rows_written;
        d.rows_skipped = rows_skipped - o.rows_skipped;
        d.pages_read = pages_read - o.pages_read;
        d.pages_unreadable = pages_unreadable - o.pages_unreadable;
        d.chains_broken = chains_broken - o.chains_broken;
        d.values_null = values_null - o.values_null;
        d.chains_continued = chains_continued - o.chains_continued;
        d.values_changed = values_changed - o.values_changed;
        d.scripts_not_created = scripts_not_created - o.scripts_not_created;
        d.rows_not_written = rows_not_written - o.rows_not_written;
        return d;
    }
};
