// Companion libraries with faults, one per build flag:
//   FAKE_NO_INITIALIZE  lacks Initialize
//   FAKE_NO_GETSTRING   lacks GetString
//   FAKE_EMPTY_NAME     GetFullName and GetHomeURL leave their buffers empty
//   FAKE_UTF16          GetString answers in UTF-16 (little-endian)
// Every fake, once loaded, creates the file that VRN_COMPANION_LOAD_MARKER
// names (when set), so a test can tell whether it was loaded at all.
#include <cstring>
#include <fstream>
#include <string>

#include "platform/platform.h"

#if defined(_WIN32)
#define FAKE_API extern "C" __declspec(dllexport)
#define FAKE_CDECL __cdecl
#else
#define FAKE_API extern "C" __attribute__((visibility("default")))
#define FAKE_CDECL
#endif

namespace {

struct LoadMarker {
    LoadMarker() {
        std::string path;
        if (platform::getEnvironment("VRN_COMPANION_LOAD_MARKER", path) && !path.empty())
            std::ofstream(path, std::ios::binary) << "loaded\n";
    }
};
const LoadMarker g_load_marker;

// Pass texts of the UTF-16 fake; text 4 holds a letter outside ASCII (u
// with diaeresis) to show the conversion.
const char16_t *const kWideTexts[] = {u"", u"fertig", u"Lauf", u"analysiere Datenbank",
                                      u"Schema zur\u00fcck", u"Zeilen zur\u00fcck"};
const char *const kTexts[] = {"", "done", "Pass", "analyzing database",
                              "recovering database schema", "recovering table rows"};

} // namespace

#if !defined(FAKE_NO_INITIALIZE)
FAKE_API int FAKE_CDECL Initialize(int) { return 1; }
#endif

FAKE_API int FAKE_CDECL GetFullName(char *buffer) {
#if defined(FAKE_EMPTY_NAME)
    buffer[0] = '\0';
#else
    std::strcpy(buffer, "Fake Product 2.0");
#endif
    return 0;
}

FAKE_API int FAKE_CDECL GetHomeURL(char *buffer) {
#if defined(FAKE_EMPTY_NAME)
    buffer[0] = '\0';
#else
    std::strcpy(buffer, "http://fake.example");
#endif
    return 0;
}

#if !defined(FAKE_NO_GETSTRING)
FAKE_API int FAKE_CDECL GetString(int, int text_no, char *buffer, int *size) {
    if (text_no < 1 || text_no > 5) return 0;
#if defined(FAKE_UTF16)
    const char16_t *text = kWideTexts[text_no];
    int bytes = 0;
    for (; text[bytes / 2]; bytes += 2) {
        buffer[bytes] = static_cast<char>(text[bytes / 2] & 0xFF);
        buffer[bytes + 1] = static_cast<char>(text[bytes / 2] >> 8);
    }
    buffer[bytes] = buffer[bytes + 1] = '\0';
    *size = bytes;
#else
    std::strcpy(buffer, kTexts[text_no]);
    *size = static_cast<int>(std::strlen(kTexts[text_no]));
#endif
    return 0;
}
#endif

FAKE_API int FAKE_CDECL ReadProfileString(const char *, const char *, const char *def, char *out,
                                          int size, int) {
    if (!out || size <= 0) return 0;
    out[0] = '\0';
    if (def && static_cast<int>(std::strlen(def)) < size) std::strcpy(out, def);
    return 0;
}
