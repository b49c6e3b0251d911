// The library-global objects, constructed in this order when the library is
// loaded and destroyed in reverse order when it is unloaded: the logger, the
// host interaction, and the holder of the COM initialisation. They live in
// one translation unit so that the order is the order of definition.
#include "Common/logger/logger.h"
#include "platform/com.h"
#include "vrndll/SA_interractions.h"

namespace {

// Initialises COM for the loading thread (Windows only) and fills the
// built-in progress texts.
class ComHolder {
public:
    ComHolder() {
        const bool initialised = platform::initialiseCom();
        SA_interractions::SetDefaultPassTexts();
        com_initialised_ = initialised;
    }
    ~ComHolder() {
        if (com_initialised_) platform::uninitialiseCom();
    }
    ComHolder(const ComHolder &) = delete;
    ComHolder &operator=(const ComHolder &) = delete;

private:
    bool com_initialised_ = false;
};

Logger g_logger(kLoggerProduct, kLoggerInitialLevel);
SA_interractions g_host;
ComHolder g_com_holder;

} // namespace

Logger &TheLogger() { return g_logger; }
SA_interractions &TheHost() { return g_host; }
