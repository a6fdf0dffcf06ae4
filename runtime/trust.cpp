#include "trust.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace tvx::runtime {
namespace {

std::string Why(const std::string &path, const struct stat &info, bool folder) {
    if (info.st_uid != 0 && info.st_uid != ::geteuid())
        return path + " is owned by user " + std::to_string(info.st_uid);
    if (folder && (info.st_mode & S_ISVTX)) return {};
    if (info.st_mode & S_IWOTH) return path + " is writable by others";
    if (info.st_mode & S_IWGRP) return path + " is writable by its group";
    return {};
}

std::string Canonical(const std::string &path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

// Every folder from `canonical` (itself a folder) up to the root.
std::string WhyFoldersUp(std::string canonical) {
    for (;;) {
        struct stat info {};
        if (::stat(canonical.c_str(), &info) != 0) return canonical + " cannot be examined";
        if (std::string why = Why(canonical, info, true); !why.empty()) return why;
        if (canonical == "/") return {};
        const size_t slash = canonical.rfind('/');
        canonical = slash == 0 ? std::string("/") : canonical.substr(0, slash);
    }
}

std::string Parent(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

std::string WhyUntrustedFile(const std::string &path, const struct stat &info) { return Why(path, info, false); }

std::string WhyUntrustedFolders(const std::string &path) {
    const std::string folder = Canonical(Parent(path));
    if (folder.empty()) return Parent(path) + " cannot be examined";
    return WhyFoldersUp(folder);
}

std::string WhyUntrusted(const std::string &path) {
    const std::string canonical = Canonical(path);
    struct stat info {};
    if (canonical.empty() || ::stat(canonical.c_str(), &info) != 0) return path + " cannot be examined";
    if (std::string why = Why(canonical, info, false); !why.empty()) return why;
    // The folder that holds the link, when the path is one, decides where it points.
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        if (std::string why = WhyUntrustedFolders(path); !why.empty()) return why;
    return WhyFoldersUp(Parent(canonical));
}

} // namespace tvx::runtime
