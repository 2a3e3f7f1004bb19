#include "LocalText.h"

#include <climits>
#include <cwchar>

namespace vesperkeep {

QString DecodeLocalText(std::string_view bytes) {
    std::wstring wide;
    wide.reserve(bytes.size());
    std::mbstate_t state{};
    std::size_t at = 0;
    while (at < bytes.size()) {
        wchar_t character = 0;
        const std::size_t used =
            std::mbrtowc(&character, bytes.data() + at, bytes.size() - at, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
            // Invalid, or cut off at the end: one replacement per byte, then start afresh.
            wide += L'\xFFFD';
            state = std::mbstate_t{};
            ++at;
            continue;
        }
        wide += character;
        at += used == 0 ? 1 : used; // 0: an embedded NUL
    }
    return QString::fromStdWString(wide);
}

std::string EncodeLocalText(const QString& text) {
    std::string bytes;
    std::mbstate_t state{};
    char buffer[MB_LEN_MAX];
    for (const wchar_t character : text.toStdWString()) {
        const std::size_t used = std::wcrtomb(buffer, character, &state);
        if (used == static_cast<std::size_t>(-1)) {
            bytes += '?';
            state = std::mbstate_t{};
            continue;
        }
        bytes.append(buffer, used);
    }
    return bytes;
}

} // namespace vesperkeep
