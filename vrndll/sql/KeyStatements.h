// The index and key statements that follow a table's definition in its
// script: one per index of the table and one per foreign key from it.
//
//     ALTER TABLE orders 
//      ADD CONSTRAINT pk_orders PRIMARY KEY NONCLUSTERED
//       (id)
//     GO
//
//     ALTER TABLE orders 
//      ADD CONSTRAINT uq_no UNIQUE NONCLUSTERED
//       (no)
//     GO
//
//
//     CREATE INDEX ix_cust ON orders
//     (cust)
//     GO
//
//
//     ALTER TABLE orders
//     ADD CONSTRAINT fk_cust FOREIGN KEY (cust)
//      REFERENCES customers(id)
//     GO
//
// Which keys there are, and their names and columns, is the catalogue's
// (TableKeys.h); this writes them as statements, names quoted as the table
// script quotes them (SqlIdentifier.h). A key with a fault is not written:
// the log names the table, the key and the fault.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vrndll/catalogue/Catalogue.h"
#include "vrndll/catalogue/TableKeys.h"

class VRNParser;

class KeyStatements {
public:
    // Indexes the parser's catalogue (objects, columns, indexes, foreign
    // keys). The parser must outlive this object and its arrays must not
    // change meanwhile.
    explicit KeyStatements(const VRNParser &parser);

    // The index statements of `table`, in catalogue order; empty when the
    // table has no index with a key.
    std::string IndexText(const SysobjEntry &table) const;
    // The foreign-key statements of `table`, in catalogue order; empty when
    // no foreign key starts from it. With `keep`, a key whose referenced
    // table id it refuses is left out and described in `left_out`.
    std::string ForeignKeyText(const SysobjEntry &table) const;
    std::string ForeignKeyText(const SysobjEntry &table, const std::function<bool(int32_t)> &keep,
                               std::vector<std::string> *left_out) const;
    // The table ids the foreign keys of table `tab_id` reference, in
    // catalogue order (empty when none).
    std::vector<int32_t> ReferencedTables(int32_t tab_id) const;

    // The keys, named but not written.
    const TableKeys &keys() const { return keys_; }

private:
    TableKeys keys_;
};
