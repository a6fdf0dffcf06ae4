// Whether a file may steer this process: the registry names the libraries
// that creation loads and runs, so the registry and those libraries must be
// the user's own. A file is refused when users other than its owner can
// write it, or when its owner is neither the user nor root; so is a folder
// above it, except a shared folder with the sticky bit (like /tmp), where
// others cannot replace what is not theirs.
#ifndef TVX_RUNTIME_TRUST_H
#define TVX_RUNTIME_TRUST_H

#include <string>
#include <sys/stat.h>

namespace tvx::runtime {

// Empty when `path` (an existing file, followed through links) and the
// folders above it pass; otherwise why not, e.g. "/x is writable by others".
std::string WhyUntrusted(const std::string &path);

// The same rule for one file already open, as `info` describes it.
std::string WhyUntrustedFile(const std::string &path, const struct stat &info);

// The rule for the folders that hold `path`, which need not exist yet.
std::string WhyUntrustedFolders(const std::string &path);

} // namespace tvx::runtime

#endif
