#include "diagnostics.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace tvx::runtime {

void Diagnose(std::string_view text) {
    // One write, so that lines from several threads do not mix.
    std::string line = "tarvex10: ";
    line.append(text) += '\n';
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t n = ::write(STDERR_FILENO, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        rest.remove_prefix(static_cast<size_t>(n));
    }
}

} // namespace tvx::runtime
