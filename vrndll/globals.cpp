// The library-global objects, constructed in this order when the library is
// loaded and destroyed in reverse order when it is unloaded: the logger, the
// host interaction, and the holder of the COM initialisation. They live in
// one translation unit so that the order is the order of definition.
//
// Constructing them does nothing that could block while the library loads
// (on Windows the loader's lock is held then): loading the companion
// library, initialising COM and creating files wait for StartLibrary(), which
// the first FileRecover or SetBreakFlag calls.
#include "vrndll/LibraryStart.h"

#include <mutex>

#include "Common/logger/logger.h"
#include "platform/com.h"
#include "vrndll/SA_interractions.h"

namespace {

// Fills the built-in progress texts when built; initialises COM for the
// thread of the first call (Windows only) when started.
class ComHolder {
public:
    ComHolder() { SA_interractions::SetDefaultPassTexts(); }
    ~ComHolder() {
        if (com_initialised_) platform::uninitialiseCom();
    }
    ComHolder(const ComHolder &) = delete;
    ComHolder &operator=(const ComHolder &) = delete;

    void Start() {
        if (started_) return;
        started_ = true;
        com_initialised_ = platform::initialiseCom();
    }

private:
    bool started_ = false;
    bool com_initialised_ = false;
};

Logger g_logger(kLoggerProduct, kLoggerInitialLevel, LoggerStart::kOnFirstCall);
SA_interractions g_host;
ComHolder g_com_holder;
std::mutex g_start_lock;

} // namespace

Logger &TheLogger() { return g_logger; }
SA_interractions &TheHost() { return g_host; }

void StartLibrary() {
    std::lock_guard<std::mutex> guard(g_start_lock);
    g_logger.Start();
    g_com_holder.Start();
}
