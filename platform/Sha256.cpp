#include "platform/Sha256.h"

#include <glib.h>

namespace vorlix::platform {

std::string Sha256Hex(const std::uint8_t* data, std::size_t size) {
    GChecksum* sum = g_checksum_new(G_CHECKSUM_SHA256);
    // GLib takes lengths as a signed size; feed very large blocks in parts.
    constexpr std::size_t kPart = std::size_t{1} << 30;
    for (std::size_t at = 0; at < size; at += kPart) {
        const std::size_t n = size - at < kPart ? size - at : kPart;
        g_checksum_update(sum, data + at, static_cast<gssize>(n));
    }
    std::string hex = g_checksum_get_string(sum);
    g_checksum_free(sum);
    return hex;
}

}  // namespace vorlix::platform
