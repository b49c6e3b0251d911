// Host interaction: callbacks, pass announcements, the cancel flag and the
// companion library.
//
// The companion library is looked for beside this library; when this library
// was loaded under another file name, beside the program; when neither has
// one, at the fixed installation path. It supplies the product name, the
// home page address and the five progress texts, which may come back as
// UTF-16 and are then narrowed to the ANSI code page.
#include "vrndll/call/AssertionSites.h"
#include "vrndll/SA_interractions.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "Common/logger/logger.h"
#include "platform/platform.h"

const char kDefaultProductName[] = "Varnoth 1.0";
const char kDefaultProductUrl[] = "http://www.varnoth.com";

char g_progress_texts[6][kProgressTextSize] = {};
char *g_pass_label = nullptr;
char *g_product_name = nullptr;
char *g_product_url = nullptr;

namespace {


// Where an installation keeps the companion library when it does not lie
// beside the library.
const char *InstalledCompanionPath() {
    return platform::kPathSeparator == '\\' ? "c:\\Program Files\\Varnoth\\tlvcmn.dll"
                                            : "/usr/lib/varnoth/libtlvcmn.so";
}

typedef int(VRN_CDECL *InitializeProc)(int);
typedef int(VRN_CDECL *GetFullNameProc)(char *);
typedef int(VRN_CDECL *GetHomeURLProc)(char *);
typedef int(VRN_CDECL *GetStringProc)(int, int, char *, int *);

template <typename Proc> Proc Export(const platform::DynamicLibrary &library, const char *name) {
    void *address = library.symbol(name);
    Proc proc = nullptr;
    static_assert(sizeof(proc) == sizeof(address), "function and data pointers differ in size");
    std::memcpy(&proc, &address, sizeof(proc));
    return proc;
}

// Product buffers of every load, kept for the life of the process so that a
// pointer handed out by an earlier load never dangles.
std::vector<std::unique_ptr<char[]>> &ProductBuffers() {
    static std::vector<std::unique_ptr<char[]>> buffers;
    return buffers;
}

char *NewProductBuffer() {
    ProductBuffers().emplace_back(new char[kProductInfoSize]());
    return ProductBuffers().back().get();
}

const char kBuiltInTexts[6][32] = {"", "done", "Pass", "analyzing database",
                                   "recovering database schema", "recovering table rows"};

} // namespace

bool SA_interractions::mf_init(WriteDiag write_diag_in, StatusBar status_bar_in,
                               uintptr_t user_data_in, int pass_count_in, int product) {
    Logger &log = TheLogger();
    try {
        if (!write_diag_in) {
            log.Error("!WriteDiag");
            return false;
        }
        if (!status_bar_in) {
            log.Error("!StatusBar");
            return false;
        }
        write_diag = write_diag_in;
        status_bar = status_bar_in;
        user_data = user_data_in;
        pass_count = pass_count_in;
        pass_no = 0;
        log.Info("loading tlvcmn...");
        try {
            LoadTlvcmn(product);
        } catch (...) {
            LogAssertion(sites::kHostCallback);
            return false;
        }
        if (!g_product_url) {
            log.Info("!url");
            return false;
        }
        if (!g_product_name) {
            log.Info("!prodname");
            return false;
        }
        log.Info("done...");
        return true;
    } catch (...) {
        log.Info("Trap in SA_interractions::mf_init");
        return false;
    }
}

void SA_interractions::WDiag(const char *text) {
    Logger &log = TheLogger();
    log.Debug("void WDiag(char *text)");
    if (write_diag) {
        write_diag(text ? text : "", user_data);
        log.DebugText("Wrote Diag", text);
    } else {
        log.DebugText("No WriteDiag - cannot wrote", text);
    }
}

void SA_interractions::SBar(int percent) {
    TheLogger().Debug("void SBar(int prc)");
    if (status_bar) status_bar("", percent, user_data);
}

void SA_interractions::PutPass(const char *text) {
    TheLogger().Debug("void PutPass(char *text)");
    ++pass_no;
    if (pass_no > pass_count) pass_no = 1;
    char line[kProgressTextSize];
    std::snprintf(line, sizeof line, "%s %d: %s...", g_pass_label ? g_pass_label : "", pass_no,
                  text ? text : "");
    TheLogger().Debug(line);
    // A new pass: what the log holds so far is written out.
    TheLogger().Flush();
    WDiag(line);
}

CancelCheck HostCancelCheck() {
    return [] { return TheHost().MayContinue(); };
}

bool SA_interractions::MayContinue() const {
    if (!break_flag) return true;
    // The host owns the byte and may write it from another thread, while
    // the decoders' threads read it: an atomic load of a plain byte, since
    // only the value 1 means stop.
    const unsigned char *flag = reinterpret_cast<const unsigned char *>(break_flag);
    return __atomic_load_n(flag, __ATOMIC_RELAXED) != 1;
}

void SA_interractions::SetDefaultPassTexts() {
    for (int k = kDoneText; k <= kPass3Text; ++k) {
        std::memset(g_progress_texts[k], 0, kProgressTextSize);
        std::strcpy(g_progress_texts[k], kBuiltInTexts[k]);
    }
    g_pass_label = g_progress_texts[kPassLabel];
}

std::string SA_interractions::CompanionPath() {
    const std::string self = platform::modulePath(platform::sharedLibraryFileName("vrndll"));
    const size_t sep = platform::lastSeparator(self);
    if (sep != std::string::npos) {
        const std::string candidate =
            self.substr(0, sep + 1) + platform::sharedLibraryFileName("tlvcmn");
        if (platform::exists(candidate)) return candidate;
    }
    return InstalledCompanionPath();
}

void SA_interractions::LoadTlvcmn(int product) { LoadTlvcmnFrom(CompanionPath(), product); }

void SA_interractions::LoadTlvcmnFrom(const std::string &path, int product) {
    Logger &log = TheLogger();
    platform::DynamicLibrary library = platform::DynamicLibrary::load(path);
    if (!library.isLoaded()) throw -1;

    InitializeProc initialize = Export<InitializeProc>(library, "Initialize");
    if (!initialize) throw -1;
    initialize(256 + product);

    log.Info("LoadTlvcmn()-> try to retrieve GetFullName proc address");
    GetFullNameProc get_full_name = Export<GetFullNameProc>(library, "GetFullName");
    if (!get_full_name) {
        log.Info("LoadTlvcmn()-> GetFullName proc address failed");
        throw -1;
    }
    log.Info("LoadTlvcmn()-> try to retrieve GetOrderUrl proc address");
    GetHomeURLProc get_home_url = Export<GetHomeURLProc>(library, "GetHomeURL");
    if (!get_home_url) {
        log.Info("LoadTlvcmn()-> GetHomeURL proc address failed");
        throw -1;
    }

    g_product_name = NewProductBuffer();
    g_product_url = NewProductBuffer();
    get_full_name(g_product_name);
    g_product_name[kProductInfoSize - 1] = '\0';
    log.InfoFormat("ProductName = %s", g_product_name);
    get_home_url(g_product_url);
    g_product_url[kProductInfoSize - 1] = '\0';
    log.InfoFormat("ProductURL = %s", g_product_url);
    if (g_product_name[0] == '\0') std::strcpy(g_product_name, kDefaultProductName);
    if (g_product_url[0] == '\0') std::strcpy(g_product_url, kDefaultProductUrl);

    GetStringProc get_string = Export<GetStringProc>(library, "GetString");
    if (!get_string) throw -1;

    SetDefaultPassTexts();
    for (int k = kDoneText; k <= kPass3Text; ++k) {
        int size = kProgressTextSize - 1;
        get_string(product, k, g_progress_texts[k], &size);
        g_progress_texts[k][kProgressTextSize - 1] = '\0';
        ToNarrow(g_progress_texts[k], k == kPass3Text ? size : kProgressTextSize - 1);
    }
    // The companion library stays loaded for the rest of the process.
    library.release();
}

void SA_interractions::ToNarrow(char *buffer, int size) {
    if (!buffer || size <= 0) return;
    const size_t limit = static_cast<size_t>(size < kProgressTextSize ? size : kProgressTextSize);

    // The statistical test is applied to the text only, not to the zero
    // bytes after it: a run of zero units looks like UTF-16 to the test and
    // would turn an ANSI text into garbage. An ANSI text ends at its first
    // zero byte; a UTF-16 text at its first zero unit, and its first zero
    // byte comes at once when it starts with a character below 256.
    const void *first_zero = std::memchr(buffer, 0, limit);
    const size_t ansi_length =
        first_zero ? static_cast<size_t>(static_cast<const char *>(first_zero) - buffer) : limit;
    size_t unit_end = 0;
    while (unit_end + 1 < limit && (buffer[unit_end] != '\0' || buffer[unit_end + 1] != '\0'))
        unit_end += 2;
    size_t tested = ansi_length <= 1 ? unit_end : ansi_length + (ansi_length & 1);
    if (tested > limit) tested = limit;
    if (tested < 2 || !platform::isTextUnicode(buffer, tested)) return;

    std::vector<uint16_t> units(unit_end / 2);
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<uint16_t>(static_cast<unsigned char>(buffer[2 * i]) |
                                         (static_cast<unsigned char>(buffer[2 * i + 1]) << 8));
    }
    std::string narrow = platform::utf16ToAnsi(units.data(), units.size());
    if (narrow.size() > kProgressTextSize - 1) narrow.resize(kProgressTextSize - 1);
    std::memset(buffer, 0, kProgressTextSize);
    std::memcpy(buffer, narrow.data(), narrow.size());
}
