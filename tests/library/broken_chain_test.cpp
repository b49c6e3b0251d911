// A table whose data chain breaks in the middle still gives back the rows of
// every page that is intact: the pages the chain no longer reaches are found
// by their headers, which name the table as their owner.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/dump_writer.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/table_builder.h"
#include "tests/support/temp_folder.h"
#include "vrndll.h"

namespace encode = dumpwriter::encode;
namespace types = dumpwriter::types;
using dumpwriter::Page;
using testsupport::TheLibrary;

namespace {

constexpr int kRowsPerPage = 10;
constexpr int kOrders = 600;  // 60 pages
constexpr int kClients = 200; // 20 pages

struct Counted {
    uint64_t orders = 0, clients = 0;
};

void VRN_CDECL OnTable(const VrnTableReport *t, uintptr_t user) {
    Counted &c = *reinterpret_cast<Counted *>(user);
    if (t->kind != VRN_TABLE_ENTRY) return;
    if (std::strcmp(t->table, "orders") == 0) c.orders = t->rows_written;
    if (std::strcmp(t->table, "clients") == 0) c.clients = t->rows_written;
}

// Damage to the n-th page of a chain, given the chain's pages.
using Damage = std::function<void(dumpwriter::Database &, const std::vector<int32_t> &)>;

Damage OnPage(size_t n, std::function<void(Page &, const std::vector<int32_t> &)> change) {
    return [n, change](dumpwriter::Database &db, const std::vector<int32_t> &chain) {
        db.edit_page(chain.at(n), [change, chain](Page &p) { change(p, chain); });
    };
}

} // namespace

TEST(BrokenChain, EveryIntactPageOfTheTableIsRead) {
    struct Case {
        const char *what;
        dumpwriter::Format format;
        Damage orders, clients; // damage to each table's chain
        uint64_t orders_rows, clients_rows;
        bool lost;
    };
    const Damage none = [](dumpwriter::Database &, const std::vector<int32_t> &) {};
    const Damage zeroed = OnPage(20, [](Page &p, const std::vector<int32_t> &) {
        p = Page();
        p.id = 0;
        p.len = 0;
    });
    const Damage elsewhere = OnPage(8, [](Page &p, const std::vector<int32_t> &) { p.next_id = 1; });
    const Damage cycle = OnPage(30, [](Page &p, const std::vector<int32_t> &chain) { p.next_id = chain[10]; });
    const Damage outside = OnPage(40, [](Page &p, const std::vector<int32_t> &) { p.next_id = 0x7fffff00; });
    const Damage first_zeroed = OnPage(0, [](Page &p, const std::vector<int32_t> &) {
        p = Page();
        p.len = 0;
    });
    const Case cases[] = {
        {"intact", dumpwriter::Format::k12, none, none, kOrders, kClients, false},
        {"a page zeroed", dumpwriter::Format::k12, zeroed, none, kOrders - kRowsPerPage, kClients, true},
        {"a next_id naming a catalogue page", dumpwriter::Format::k12, elsewhere, none, kOrders, kClients, true},
        {"a next_id back into the chain", dumpwriter::Format::k12, cycle, none, kOrders, kClients, true},
        {"a next_id outside the dump", dumpwriter::Format::k12, outside, none, kOrders, kClients, true},
        {"both tables broken", dumpwriter::Format::k12, cycle, first_zeroed, kOrders, kClients - kRowsPerPage, true},
        {"newer generation, a page zeroed", dumpwriter::Format::k15, zeroed, elsewhere, kOrders - kRowsPerPage,
         kClients, true},
    };
    ASSERT_TRUE(TheLibrary().loaded());
    ASSERT_NE(TheLibrary().file_recover_ex, nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempFolder folder("broken-chain");
        std::vector<int32_t> orders_pages, clients_pages;
        auto build = [&](bool damaged) {
            dumpwriter::Dump dump(2, c.format);
            dump.database("master", 1, 0);
            dumpwriter::Schema schema;
            auto &orders = schema.table(101, "orders").column("id", types::kInt).column("note", types::kChar, 20);
            orders.rows_per_page(kRowsPerPage);
            for (int i = 0; i < kOrders; ++i) orders.row({encode::Int(i), encode::Chars("order " + std::to_string(i))});
            auto &clients = schema.table(102, "clients").column("id", types::kInt);
            clients.rows_per_page(kRowsPerPage);
            for (int i = 0; i < kClients; ++i) clients.row({encode::Int(i)});
            dumpwriter::Database &sales = dump.database("sales", 5, 4);
            schema.add_to(sales);
            if (damaged) {
                c.orders(sales, orders_pages);
                c.clients(sales, clients_pages);
            }
            dump.size(); // lays the dump out
            orders_pages = sales.pages_of(101);
            clients_pages = sales.pages_of(102);
            EXPECT_TRUE(dump.write_file(folder / "sales.dmp"));
        };
        build(false);
        ASSERT_EQ(orders_pages.size(), static_cast<size_t>(kOrders / kRowsPerPage));
        build(true);

        VrnOptions o{};
        Counted counted;
        o.table_done = OnTable;
        o.user_data = reinterpret_cast<uintptr_t>(&counted);
        VrnReport report;
        const int status = testsupport::RecoverWithOptions(folder / "sales.dmp", folder / "out", o, report);
        EXPECT_EQ(status, c.lost ? VRN_STATUS_LOSSES : VRN_STATUS_OK) << report.message;
        EXPECT_EQ(counted.orders, c.orders_rows);
        EXPECT_EQ(counted.clients, c.clients_rows);
    }
}
