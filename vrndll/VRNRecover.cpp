#include "vrndll/call/AssertionSites.h"
#include "vrndll/VRNRecover.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <utility>

#include "Common/logger/logger.h"
#include "vrndll/SA_interractions.h"
#include "vrndll/catalogue/DescriptionTemplate.h"
#include "vrndll/catalogue/ColumnName.h"
#include "vrndll/catalogue/ColumnOrder.h"
#include "vrndll/catalogue/ParserFactory.h"
#include "vrndll/output/PrintableName.h"
#include "vrndll/sql/SqlTypeText.h"
#include "vrndll/TableDescriptionFile.h"

VRNRecover::VRNRecover(platform::RandomAccessFile *hFile, int kb, uint32_t size_low, int base_mb,
                       const char *target, uint32_t size_low_again, uint32_t size_high,
                       const char *source) {
    dump_size = static_cast<int64_t>((static_cast<uint64_t>(size_high) << 32) | size_low_again);
    Init(target, source);
    // The parsers bound block numbers by the dump's size: give them all of
    // it, not only its low 32 bits, so a dump beyond 4 GiB is read whole.
    const int64_t parser_size = size_high != 0 ? dump_size : static_cast<int64_t>(size_low);
    parser = OpenParser(hFile, kb, parser_size, base_mb);
}

VRNRecover::VRNRecover(std::unique_ptr<VRNParser> injected, int64_t size, const char *target,
                       const char *source) {
    dump_size = size;
    Init(target, source);
    parser = std::move(injected);
}

void VRNRecover::Init(const char *target, const char *source) {
    fields_scanned = false;
    database_count = 0;
    outfiles.init(target);
    target_folder = target ? target : "";
    source_folder = source ? source : "";
}

VRNRecover::~VRNRecover() {
    try {
        Release();
        writer_.reset();
        parser.reset();
        outfiles.CloseAll();
    } catch (...) {
        LogAssertion(sites::kRecoverDestructor);
    }
}

void VRNRecover::Release() {
    if (parser) parser->FreeCatalogue();
    outfiles.CloseAll();
    if (database_count != 0) {
        databases.clear();
        database_count = 0;
    }
}

int VRNRecover::PrepareCatalogue(std::vector<DatabaseEntry> *list, uint32_t *count) {
    int rc = parser->ReadCatalogue(list, count);
    TheLogger().InfoNumber("VRNParser::Prepare returned", rc);
    return rc;
}

void VRNRecover::AdvanceProgress() {
    SA_interractions &host = TheHost();
    counted_ += 1;
    // Never 100 inside the loop: the last step is the final SBar(100).
    const int64_t listed = static_cast<int64_t>(listed_databases());
    const int percent = static_cast<int>(static_cast<int64_t>(counted_) * 100 / (listed + 1));
    host.SBar(percent);
    // A share that leaps past both marks announces both passes.
    if (percent > 30 && pass_state_ == 1) {
        host.WDiag(ProgressTextOf(kDoneText));
        host.PutPass(ProgressTextOf(kPass2Text));
        pass_state_ = 2;
    }
    if (percent > 60 && pass_state_ == 2) {
        host.WDiag(ProgressTextOf(kDoneText));
        host.PutPass(ProgressTextOf(kPass3Text));
        pass_state_ = 3;
    }
}

int VRNRecover::Recover() {
    try {
        if (!parser) return kFailed;
        outfiles.rows_per_part = options.rows_per_file > 0 ? options.rows_per_file : kRowsPerPart;
        writing_ = !options.list_only;
        writer_ = MakeWriter();
        if (!writer_) {
            TheLogger().Error("The output format asked for is not available");
            return kFailed;
        }
        const int rc = RecoverDatabases();
        if (rc != kOk) writer_->Abandon();
        const int closed = writer_->Close();
        writer_.reset();
        if (rc == kOk && IsStop(closed)) return closed;
        // A recovery that stops (a cancel, a failure) leaves no file open:
        // what was written whole stays, a batch cut short goes, and the
        // file INCOMPLETE says what is missing.
        if (rc != kOk) {
            MarkIncomplete(rc);
            outfiles.CloseAll();
        } else {
            ClearIncomplete();
        }
        WriteManifest(rc);
        return rc;
    } catch (...) {
        LogAssertion(sites::kRecover);
        writer_.reset();
        MarkIncomplete(kFailed);
        outfiles.CloseAll();
        WriteManifest(kFailed);
        return kFailed;
    }
}

int VRNRecover::RecoverDatabases() {
    counted_ = 0;
    pass_state_ = 0;
    recovered_bases_.clear();

    // Whether a template applies is settled before anything is written: a
    // description this recovery writes (into the dump's own folder, say)
    // is never read back as one.
    if (!template_chosen_) {
        std::string why;
        std::shared_ptr<const DescriptionTemplate> chosen;
        if (!ChooseDescriptionTemplate(options, source_folder, chosen, why)) {
            TheLogger().ErrorText("Template refused:", why.c_str());
            return kNoCatalogue;
        }
        UseTemplate(std::move(chosen));
    }

    int rc = parser->Detect(2);
    if (IsStop(rc)) return rc;
    if (rc == kDetectGaveUp) return kNoCatalogue;

    TheHost().PutPass(ProgressTextOf(kPass1Text));
    pass_state_ = 1;

    const int64_t block_bytes = static_cast<int64_t>(parser->bl.kb) * 1024;
    const int64_t blocks = block_bytes > 0 ? dump_size / block_bytes : 0;
    block_count = static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(blocks, 0), INT32_MAX));
    parser->VRN_bl_count = block_count;

    rc = PrepareCatalogue(&databases, &database_count);
    switch (rc) {
    case kCancelled:
    case kFailed:
        Release();
        return rc;
    case kScanException:
    case kNoCatalogue:
        parser->iSysobj = 0;
        return rc;
    default: // kOk, or kEndOfDump: the scan reached the end of the dump
        break;
    }

    parser->LocateDatabases(databases, listed_databases());
    // Placing the databases reads pages too: a cancel there places none of
    // them, which must not pass for a dump without databases.
    if (!parser->bl.MayContinue()) {
        Release();
        return kCancelled;
    }

    // The list bounds the walk even when the count disagrees with it.
    const uint32_t listed =
        static_cast<uint32_t>(listed_databases());
    // The base each usable database's usage records name, and the first
    // database naming it: pages found by moving on from a start that holds
    // no database belong to the database that names their base.
    requested_bases_.clear();
    for (uint32_t i = 0; i < listed; ++i)
        if (parser->IsUsable(databases[i]) && StartOffset(databases[i]) >= 0)
            requested_bases_.emplace(static_cast<int>(StartOffset(databases[i]) >> 20), i);
    for (uint32_t i = 0; i < listed; ++i) {
        if (!parser->IsUsable(databases[i])) continue;
        AdvanceProgress();
        rc = RecoverDatabase(i);
        if (IsStop(rc)) return rc;
    }

    // A pattern that selected nothing is named: the run did not do what was asked.
    const auto unmatched = [this](const std::vector<std::string> &patterns, std::vector<bool> &hits,
                                  const char *what) {
        hits.resize(patterns.size(), false);
        for (size_t k = 0; k < patterns.size(); ++k)
            if (!hits[k]) report.unmatched_patterns.push_back(std::string(what) + " '" + PrintableName(patterns[k]) + "'");
    };
    unmatched(options.database_patterns, database_hits_, "database");
    unmatched(options.table_patterns, table_hits_, "table");

    // Every pass is shown once, however few databases moved the share: the
    // passes not yet announced are announced before the last "done".
    if (pass_state_ == 1) {
        TheHost().WDiag(ProgressTextOf(kDoneText));
        TheHost().PutPass(ProgressTextOf(kPass2Text));
        pass_state_ = 2;
    }
    if (pass_state_ == 2) {
        TheHost().WDiag(ProgressTextOf(kDoneText));
        TheHost().PutPass(ProgressTextOf(kPass3Text));
        pass_state_ = 3;
    }
    TheHost().WDiag(ProgressTextOf(kDoneText));
    TheHost().SBar(100);
    current_table_.clear();
    ReportProgress(true);
    Release();
    return kOk;
}

void VRNRecover::Note(const std::string &text) {
    report.notes += 1;
    if (options.diagnostic) options.diagnostic(kNoteLevel, text);
}

bool VRNRecover::Wanted(const SysobjEntry &table) const {
    if (!parser->IsScriptedTable(table)) return false;
    if (options.table_patterns.empty()) return true;
    return MatchesAnyPattern(options.table_patterns,
                             std::string(table.name, strnlen(table.name, sizeof table.name)), table_hits_);
}

void VRNRecover::UseTemplate(std::shared_ptr<const DescriptionTemplate> described) {
    template_ = std::move(described);
    template_chosen_ = true;
}

std::string VRNRecover::ColumnList(uint32_t begin, uint32_t end) const {
    std::string text;
    for (uint32_t k = begin; k < end && k < parser->fields.size(); ++k) {
        const ColumnEntry &c = parser->fields[k];
        if (!text.empty()) text += ", ";
        text += PrintableName(ColumnName(c, parser->format()));
        const std::string type = SqlTypeText(c, parser->format());
        if (type.empty() || type[0] != ' ') text += ' ';
        text += type;
    }
    return text;
}

int VRNRecover::ListDatabase(bool use_template) {
    if (!use_template) {
        const int rc = parser->ReadDetailCatalogues();
        if (IsCancelOrFailure(rc)) return rc;
        if (!fields_scanned && RecoverTableFromField() == kCancelled) return kCancelled;
    }
    SortColumnsByTable(*parser);
    return WriteData();
}

void VRNRecover::ReportProgress(bool now) {
    if (!options.progress) return;
    const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    if (!now && last_progress_ms_ >= 0 && ms - last_progress_ms_ < options.progress_interval_ms) return;
    last_progress_ms_ = ms;
    RecoveryProgress progress;
    progress.pass = std::max(pass_state_, 1);
    progress.pages_read = parser ? parser->counts.pages_read : 0;
    progress.pages_total = static_cast<uint64_t>(std::max(block_count, 0));
    progress.page_bytes = parser ? static_cast<uint64_t>(parser->bl.kb) * 1024u : 0;
    progress.bytes_total = static_cast<uint64_t>(std::max<int64_t>(dump_size, 0));
    progress.rows_written = parser ? parser->counts.rows_written : 0;
    progress.database = current_database_;
    progress.table = current_table_;
    options.progress(progress);
}

int VRNRecover::RecoverDatabase(uint32_t index) {
    const DatabaseEntry &db = databases[index];
    const std::string db_name(db.name, strnlen(db.name, sizeof db.name));
    if (!MatchesAnyPattern(options.database_patterns, db_name, database_hits_)) return kOk;
    stopped_database_ = index;
    stage_ = 0;
    stopped_table_ = -1;
    // Names go to the host as they go to the files: a terminal never sees a
    // control character of the dump.
    current_database_ = PrintableName(db_name);
    BeginManifestDatabase(db_name);
    current_table_.clear();

    const int64_t offset = StartOffset(db);
    if (offset < 0) return kOk;
    const int requested = static_cast<int>(offset >> 20);
    int base_mb = requested;
    int rc = parser->big(&base_mb);
    if (IsCancelOrFailure(rc)) return rc;

    // Everything of a database is read relative to its base. When no
    // database starts where its usage records say, the search goes on to
    // the next start: that one belongs to the database whose records name
    // it. And a second database placed at the base of one recovered
    // already would give the same pages again under another name. Either
    // way its own pages are not where its records say: lost, and said so.
    const auto owner = requested_bases_.find(base_mb);
    if (base_mb != requested && owner != requested_bases_.end() && owner->second != index) {
        const DatabaseEntry &other = databases[owner->second];
        ReportLostDatabase(db_name, "no database starts where its usage records place it (the next start is of database " +
                                        PrintableName(std::string(other.name, strnlen(other.name, sizeof other.name))) +
                                        ")");
        return kOk;
    }
    const auto taken = recovered_bases_.find(base_mb);
    if (taken != recovered_bases_.end()) {
        ReportLostDatabase(db_name, "its usage records place it on the pages of database " +
                                        PrintableName(taken->second) + ", recovered already");
        return kOk;
    }

    TheLogger().InfoFormat("Recover::Recover Database num %i, index %i, offset in kb %i",
                           static_cast<int>(index), 0, base_mb);
    TheLogger().InfoFormat("Recovering for DatId:%i", 0);

    // The catalogue of this database only; the list stays as it is.
    uint32_t count = database_count;
    rc = PrepareCatalogue(nullptr, &count);
    if (IsStop(rc)) return rc;
    // The recovery goes on without this database's catalogue, but nothing of
    // it can come back: a dump cut before the database, or its catalogue
    // pages gone. The database is counted as lost, not as recovered.
    const bool lost = rc == kNoCatalogue || rc == kScanException;
    if (lost) {
        manifest_.databases.back().lost = true;
        manifest_.databases.back().reason = "its catalogue is not in the dump";
    }
    if (lost) {
        TheLogger().ErrorFormat("Database %s lost: its catalogue is not in the dump (the dump ends at %lld bytes)",
                                db_name.c_str(), static_cast<long long>(dump_size));
        report.databases_lost += 1;
        if (options.diagnostic)
            options.diagnostic(3, "database " + PrintableName(db_name) + " lost: its catalogue is not in the dump");
    } else {
        recovered_bases_.emplace(base_mb, db_name);
    }

    ReportProgress(true);
    const RecoveryCounts before = parser->counts;

    TableDescriptionFile description(parser.get());
    // Without a template the description is written into the target folder.
    description.LocateDescription(target_folder, target_folder, 0);
    const bool use_template = template_ != nullptr;
    if (use_template) {
        report.template_used = template_->path();
        description.LoadDescription(*template_);
    }
    if (options.list_only) {
        rc = ListDatabase(use_template);
        if (IsStop(rc)) return rc;
    } else {
        rc = WriteSchema(use_template ? "database_" + std::to_string(index) : db_name, use_template);
        TheLogger().InfoNumber("Generate Dll returned", rc);
        if (IsStop(rc)) return rc;
        if (!use_template && !options.standard_output && description.WriteDescription() != 0)
            TheLogger().ErrorText("Description file not written", description.path().c_str());
        rc = WriteData();
        TheLogger().InfoNumber("Generate Data returned", rc);
        if (IsStop(rc)) return rc;
    }

    if (!lost) report.databases += 1;
    if (options.table_done) {
        TableAccount account;
        account.database_total = true;
        account.database_lost = lost;
        if (lost) account.reason = "its catalogue is not in the dump";
        account.database = current_database_;
        account.counts = parser->counts - before;
        options.table_done(account);
    }

    parser->FreeCatalogue();
    outfiles.CloseAll();
    EndManifestDatabase();
    return kOk;
}

int64_t VRNRecover::StartOffset(const DatabaseEntry &db) const {
    return (static_cast<int64_t>(db.start_page) * parser->bl.kb - 8) * 1024;
}

void VRNRecover::ReportLostDatabase(const std::string &name, const std::string &reason) {
    TheLogger().ErrorFormat("Database %s lost: %s", PrintableName(name).c_str(), reason.c_str());
    report.databases_lost += 1;
    BeginManifestDatabase(name);
    manifest_.databases.back().lost = true;
    manifest_.databases.back().reason = reason;
    if (options.diagnostic) options.diagnostic(3, "database " + PrintableName(name) + " lost: " + reason);
    if (options.table_done) {
        TableAccount account;
        account.database_total = true;
        account.database_lost = true;
        account.database = PrintableName(name);
        account.reason = reason;
        options.table_done(account);
    }
}
