// The registry: one UTF-8 text file of keys, each holding named string values.
//
// File format, one item per line ("\n" ends a line; a "\r" before it is
// dropped on reading):
//
//   # comment                 lines starting with '#' or ';' are ignored,
//                             as are blank lines
//   [CLSID\\{...}]            a key; the text between the first '[' and the
//                             last ']' of the line
//   @=Tarvex10 Movie          the key's default value (name "")
//   ProgID=Tarvex10.Movie     a named value; the name ends at the first '='
//                             that is not escaped
//
// Keys, names and values are escaped with a backslash: "\\" is a backslash,
// "\n" a line feed, "\r" a carriage return, and a backslash before any other
// character stands for that character. Writing escapes '\\', line feed and
// carriage return everywhere, and in names also '=', '[', '#', ';' and '@',
// so that no name can be taken for a key line, a comment or the default
// value. Lines before the first key and lines without '=' are skipped.
//
// Keys and names compare case-insensitively (ASCII only); keys and values
// keep the order in which they were first written, so the file only changes
// where the registry changed.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ascii/ascii.h"
#include "tarvex10/platform.h"

namespace {

struct Value {
    std::string name;
    std::string data;
};

struct Key {
    std::string name;
    std::vector<Value> values;
};

using Registry = std::vector<Key>;

// Serialises every access within the process: a change is read, modify,
// replace, and two of them interleaved would lose one.
std::mutex registry_mutex;
std::optional<std::string> path_override; // guarded by registry_mutex

using tvx::ascii::EqualFolded;

Key *FindKey(Registry &registry, std::string_view name) {
    for (auto &key : registry)
        if (EqualFolded(key.name, name)) return &key;
    return nullptr;
}

Value *FindValue(Key &key, std::string_view name) {
    for (auto &value : key.values)
        if (EqualFolded(value.name, name)) return &value;
    return nullptr;
}

void SetValue(Registry &registry, std::string_view key_name, std::string_view name, std::string_view data) {
    Key *key = FindKey(registry, key_name);
    if (!key) {
        registry.push_back(Key{std::string(key_name), {}});
        key = &registry.back();
    }
    if (Value *value = FindValue(*key, name))
        value->data = data;
    else
        key->values.push_back(Value{std::string(name), std::string(data)});
}

// ---- text form ----

void AppendEscaped(std::string &out, std::string_view text, bool is_name) {
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '=':
        case '[':
        case '#':
        case ';':
        case '@':
            if (is_name) out += '\\';
            out += c;
            break;
        default: out += c;
        }
    }
}

std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            char next = text[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += c;
        }
    }
    return out;
}

// Position of the first '=' that no backslash escapes, or npos.
size_t FindSeparator(std::string_view line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '=')
            return i;
    }
    return std::string_view::npos;
}

Registry Parse(std::string_view text) {
    Registry registry;
    Key *current = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close == std::string_view::npos) {
                current = nullptr; // a broken key line: skip its values rather than misfile them
                continue;
            }
            std::string name = Unescape(line.substr(1, close - 1));
            current = FindKey(registry, name);
            if (!current) {
                registry.push_back(Key{std::move(name), {}});
                current = &registry.back();
            }
            continue;
        }
        size_t separator = FindSeparator(line);
        if (!current || separator == std::string_view::npos) continue;
        std::string_view raw_name = line.substr(0, separator);
        std::string name = raw_name == "@" ? std::string() : Unescape(raw_name);
        std::string data = Unescape(line.substr(separator + 1));
        if (Value *value = FindValue(*current, name))
            value->data = std::move(data);
        else
            current->values.push_back(Value{std::move(name), std::move(data)});
    }
    // A key line with no values under it holds nothing.
    std::erase_if(registry, [](const Key &key) { return key.values.empty(); });
    return registry;
}

std::string Format(const Registry &registry) {
    std::string out;
    for (const auto &key : registry) {
        if (key.values.empty()) continue;
        if (!out.empty()) out += '\n';
        out += '[';
        AppendEscaped(out, key.name, false);
        out += "]\n";
        for (const auto &value : key.values) {
            if (value.name.empty())
                out += '@';
            else
                AppendEscaped(out, value.name, true);
            out += '=';
            AppendEscaped(out, value.data, false);
            out += '\n';
        }
    }
    return out;
}

// ---- files ----

std::string DefaultPath() {
    const char *explicit_path = std::getenv("TVX_REGISTRY");
    if (explicit_path && *explicit_path) return explicit_path;
    const char *data_home = std::getenv("XDG_DATA_HOME");
    if (data_home && *data_home) return std::string(data_home) + "/tarvex10/registry";
    const char *home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/tarvex10/registry";
}

std::string CurrentPath() { return path_override ? *path_override : DefaultPath(); }

enum class ReadStatus { ok, missing, failed };

ReadStatus ReadFile(const std::string &path, std::string &contents) {
    contents.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadStatus::missing : ReadStatus::failed;
    char chunk[8192];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return ReadStatus::failed;
        }
        contents.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return ReadStatus::ok;
}

// Like mkdir -p for the directory part of `path`.
bool MakeParents(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return true;
    std::string dir = path.substr(0, slash);
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/') continue;
        std::string prefix = dir.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    return ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Writes a temporary file beside `path` and renames it over `path`, so that
// readers see either the old registry or the new one, never a mixture.
bool ReplaceFile(const std::string &path, std::string_view contents) {
    if (!MakeParents(path)) return false;
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".") : slash == 0 ? "/" : path.substr(0, slash);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." + base +
                       ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    // mkstemp gives 0600; keep the mode of the file being replaced, or the
    // usual mode of a shared data file.
    struct stat old {};
    mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, contents) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; failing here no longer endangers the data.
    int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd >= 0) {
        ::fsync(dir_fd);
        ::close(dir_fd);
    }
    return true;
}

bool ValidEntries(const TVXREGVALUE *values, size_t count, bool need_data) {
    if (count == 0) return true;
    if (!values) return false;
    for (size_t i = 0; i < count; ++i) {
        if (!values[i].key || !*values[i].key) return false;
        if (need_data && !values[i].value) return false;
    }
    return true;
}

} // namespace

extern "C" {

TVX_PLATFORM_API HRESULT TvxRegistrySetPath(const char *path) {
    if (path && !*path) return E_INVALIDARG;
    std::lock_guard lock(registry_mutex);
    if (path)
        path_override = path;
    else
        path_override.reset();
    return S_OK;
}

TVX_PLATFORM_API size_t TvxRegistryGetPath(char *buffer, size_t capacity) {
    std::string path;
    {
        std::lock_guard lock(registry_mutex);
        path = CurrentPath();
    }
    if (buffer && capacity > 0) {
        size_t n = std::min(path.size(), capacity - 1);
        std::memcpy(buffer, path.data(), n);
        buffer[n] = '\0';
    }
    return path.size();
}

TVX_PLATFORM_API HRESULT TvxRegistryWrite(const TVXREGVALUE *values, size_t count) {
    if (!ValidEntries(values, count, true)) return E_INVALIDARG;
    if (count == 0) return S_OK;
    std::lock_guard lock(registry_mutex);
    std::string path = CurrentPath();
    std::string contents;
    if (ReadFile(path, contents) == ReadStatus::failed) return REGDB_E_WRITEREGDB;
    Registry registry = Parse(contents);
    for (size_t i = 0; i < count; ++i)
        SetValue(registry, values[i].key, values[i].name ? values[i].name : "", values[i].value);
    return ReplaceFile(path, Format(registry)) ? S_OK : REGDB_E_WRITEREGDB;
}

TVX_PLATFORM_API HRESULT TvxRegistryRemove(const TVXREGVALUE *values, size_t count) {
    if (!ValidEntries(values, count, false)) return E_INVALIDARG;
    if (count == 0) return S_OK;
    std::lock_guard lock(registry_mutex);
    std::string path = CurrentPath();
    std::string contents;
    switch (ReadFile(path, contents)) {
    case ReadStatus::missing: return S_OK; // nothing there to remove
    case ReadStatus::failed: return REGDB_E_WRITEREGDB;
    case ReadStatus::ok: break;
    }
    Registry registry = Parse(contents);
    bool changed = false;
    for (size_t i = 0; i < count; ++i) {
        Key *key = FindKey(registry, values[i].key);
        if (!key) continue;
        std::string_view name = values[i].name ? values[i].name : "";
        changed |= std::erase_if(key->values, [&](const Value &v) { return EqualFolded(v.name, name); }) > 0;
    }
    if (!changed) return S_OK;
    std::erase_if(registry, [](const Key &key) { return key.values.empty(); });
    return ReplaceFile(path, Format(registry)) ? S_OK : REGDB_E_WRITEREGDB;
}

TVX_PLATFORM_API HRESULT TvxRegistryRead(const char *key, const char *name, char *buffer, size_t capacity) {
    if (!key) return E_INVALIDARG;
    std::string contents;
    {
        std::lock_guard lock(registry_mutex);
        switch (ReadFile(CurrentPath(), contents)) {
        case ReadStatus::missing: return S_FALSE;
        case ReadStatus::failed: return REGDB_E_READREGDB;
        case ReadStatus::ok: break;
        }
    }
    Registry registry = Parse(contents);
    Key *found_key = FindKey(registry, key);
    Value *found = found_key ? FindValue(*found_key, name ? name : "") : nullptr;
    if (!found) return S_FALSE;
    if (buffer && capacity > 0) {
        size_t n = std::min(found->data.size(), capacity - 1);
        std::memcpy(buffer, found->data.data(), n);
        buffer[n] = '\0';
    }
    return S_OK;
}

} // extern "C"
