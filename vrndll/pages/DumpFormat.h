// The on-disk generation of a dump. Everything that differs between the
// generations is asked of the parser (VRNParser), which knows its own.
#pragma once

enum class DumpFormat {
    k12, // format 12: records with their length at the page's firoff
    k15, // format 15: row-addressed pages, rows found through index entries
};
