// Product name, home page address and the built-in progress texts.
#include <cstring>

#include "tlvcmn/tlvcmn.h"

namespace {

const char kFullName[] = "Varnoth 1.0";
const char kHomeUrl[] = "http://www.varnoth.com";
const int kNameBufferSize = 100;

const char *const kTexts[] = {"", "done", "Pass", "analyzing database",
                              "recovering database schema", "recovering table rows"};
const int kTextCount = static_cast<int>(sizeof kTexts / sizeof kTexts[0]);

int CopyInto(char *buffer, int capacity, const char *text) {
    if (!buffer || capacity <= 0) return 0;
    int length = static_cast<int>(std::strlen(text));
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(buffer, text, static_cast<size_t>(length));
    buffer[length] = '\0';
    return length;
}

} // namespace

extern "C" {

TLVCMN_API int TLVCMN_CDECL Initialize(int /*product*/) { return 1; }

TLVCMN_API int TLVCMN_CDECL GetFullName(char *buffer) {
    return CopyInto(buffer, kNameBufferSize, kFullName);
}

TLVCMN_API int TLVCMN_CDECL GetHomeURL(char *buffer) {
    return CopyInto(buffer, kNameBufferSize, kHomeUrl);
}

TLVCMN_API int TLVCMN_CDECL GetString(int /*product*/, int text_no, char *buffer, int *size) {
    if (!buffer || !size || *size < 0) return 0;
    const char *text = text_no > 0 && text_no < kTextCount ? kTexts[text_no] : "";
    const int length = CopyInto(buffer, *size + 1, text);
    *size = length;
    return length;
}

} // extern "C"
