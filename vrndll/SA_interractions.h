// The host side of a recovery: the host's callbacks, the pass counter, the
// cancel flag, and the companion library that supplies the product name and
// the localized progress texts.
#pragma once

#include <cstdint>
#include <string>

#include "vrndll.h"
#include "vrndll/call/CancelCheck.h"

// Text numbers handed to the companion library's GetString.
enum ProgressText { kDoneText = 1, kPassLabel = 2, kPass1Text = 3, kPass2Text = 4, kPass3Text = 5 };

constexpr int kProgressTextSize = 256;
constexpr int kProductInfoSize = 100;

// Product number handed to the companion library by the recovery call.
constexpr int kRecoveryProduct = 20;

// Used when the companion library leaves the product name or the home page
// address empty.
extern const char kDefaultProductName[];
extern const char kDefaultProductUrl[];

// The five progress texts (index 1..5 as above; index 0 unused).
extern char g_progress_texts[6][kProgressTextSize];
// Points at the pass-label buffer once SetDefaultPassTexts has run.
extern char *g_pass_label;
// Product name and home page address; null until the first successful load.
// Each load makes fresh buffers; the earlier ones stay valid for the process.
extern char *g_product_name;
extern char *g_product_url;

class SA_interractions {
public:
    bool *break_flag = nullptr;
    int pass_no = 0;
    int pass_count = 0;
    uintptr_t user_data = 0;
    WriteDiag write_diag = nullptr;
    StatusBar status_bar = nullptr;

    // Stores the callbacks and loads the companion library. False when a
    // callback is missing (nothing is stored then) or the companion library
    // is missing or incomplete.
    bool mf_init(WriteDiag write_diag, StatusBar status_bar, uintptr_t user_data, int pass_count,
                 int product);
    void WDiag(const char *text);
    void SBar(int percent);
    // Announces the next pass: "<label> <n>: <text>...".
    void PutPass(const char *text);
    // False exactly when a cancel flag is set and its byte is 1.
    bool MayContinue() const;

    static void SetDefaultPassTexts();
    // Throws (an int, -1) when the library or one of its exports is missing.
    static void LoadTlvcmn(int product);
    // LoadTlvcmn from a given file instead of the one CompanionPath finds.
    static void LoadTlvcmnFrom(const std::string &path, int product);
    // The companion library beside this library (or beside the program when
    // this library is loaded under another file name), else the fixed
    // installation path.
    static std::string CompanionPath();
    // Converts a UTF-16 text in place to the ANSI code page. `buffer` holds
    // kProgressTextSize bytes; no more than `size` of them are examined, and
    // a converted text is cut to kProgressTextSize - 1 bytes and terminated.
    static void ToNarrow(char *buffer, int size);
};

// The library-global host interaction (constructed second when the library loads).
SA_interractions &TheHost();

// Short forms used by the readers and the driver.
inline const char *ProgressTextOf(ProgressText k) { return g_progress_texts[k]; }
