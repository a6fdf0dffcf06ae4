#include "host.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "commands.h"
#include "late.h"
#include "output.h"
#include "support.h"
#include "tarvex10/platform.h"

#ifndef TVX_LIBDIR_FROM_BINDIR
#define TVX_LIBDIR_FROM_BINDIR "../lib"
#endif
#ifndef TVX_INSTALL_LIBDIR
#define TVX_INSTALL_LIBDIR ""
#endif

namespace tvx::cli {

namespace fs = std::filesystem;

int Fail(const std::string &command, int code, const std::string &text) {
    std::fprintf(stderr, "tarvex10%s%s: %s\n", command.empty() ? "" : " ", command.c_str(), text.c_str());
    return code;
}

std::string LocateComponent(const std::string &explicit_path) {
    if (!explicit_path.empty()) {
        std::error_code error;
        if (!fs::is_regular_file(explicit_path, error))
            throw CommandError{kExitFailed, "no component at " + explicit_path};
        return fs::absolute(explicit_path, error).string();
    }
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    const std::string program_dir = error ? std::string() : program.parent_path().string();
    const std::vector<std::string> candidates =
        ComponentCandidates(program_dir, TVX_LIBDIR_FROM_BINDIR, TVX_INSTALL_LIBDIR);
    for (const std::string &candidate : candidates) {
        if (fs::is_regular_file(candidate, error)) return fs::weakly_canonical(candidate, error).string();
    }
    std::string tried;
    for (const std::string &candidate : candidates) tried += (tried.empty() ? "" : ", ") + candidate;
    throw CommandError{kExitFailed, "cannot find libtarvex10.so (looked at " + tried + "); give it with --component PATH"};
}

std::vector<std::string> RegistrationSet(const std::string &component) {
    std::vector<std::string> set{component};
    const fs::path framework = fs::path(component).parent_path() / "libkwbasalt10.so";
    std::error_code error;
    if (fs::is_regular_file(framework, error)) set.push_back(framework.string());
    return set;
}

void CallRegistration(const std::string &library, bool register_it) {
    const char *const entry_name = register_it ? "DllRegisterServer" : "DllUnregisterServer";
    // The handle stays open for the whole run: objects may live in it.
    void *handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) throw CommandError{kExitFailed, "cannot load " + library + ": " + dlerror()};
    auto entry = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(handle, entry_name));
    if (!entry) throw CommandError{kExitFailed, library + " is not a component (it has no " + entry_name + ")"};
    const HRESULT status = entry();
    if (FAILED(status)) {
        char registry[4096] = {};
        TvxRegistryGetPath(registry, sizeof registry);
        throw CommandError{kExitFailed, std::string(entry_name) + " of " + library + " failed in " + registry + ": " +
                                            StatusText(status)};
    }
}

Session::~Session() {
    if (private_dir_.empty()) return;
    std::error_code ignored;
    fs::remove_all(private_dir_, ignored);
    KeepOnInterrupt(private_dir_);
}

void Session::UsePrivateRegistry() {
    const std::string component = LocateComponent(component_path_);
    std::string pattern = (fs::temp_directory_path() / "tarvex10-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw CommandError{kExitFailed, "cannot make a private registry folder in " +
                                                                      fs::temp_directory_path().string()};
    private_dir_ = pattern; // mkdtemp made it 0700
    RemoveOnInterrupt(private_dir_);
    // Made here, 0600, so that only this user can read or change what the
    // run registers; the rewrites keep the mode.
    const std::string registry = private_dir_ + "/registry";
    const int fd = ::open(registry.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool made = fd >= 0 && ::fchmod(fd, 0600) == 0;
    if (fd >= 0) ::close(fd);
    if (!made) throw CommandError{kExitFailed, "cannot make a private registry in " + private_dir_};
    TvxRegistrySetPath(registry.c_str());
    for (const std::string &library : RegistrationSet(component)) CallRegistration(library, true);
    private_component_ = component;
}

ComPtr<IDispatch> Session::Create(std::u16string_view progid) {
    const std::u16string id(progid);
    CLSID clsid{};
    HRESULT status = E_FAIL;
    if (component_path_.empty()) status = CLSIDFromProgID(id.c_str(), &clsid);
    if (FAILED(status) && private_component_.empty()) {
        UsePrivateRegistry();
        status = CLSIDFromProgID(id.c_str(), &clsid);
    }
    if (FAILED(status)) throw CommandError{kExitFailed, "no class is registered as " + Utf8(progid)};
    ComPtr<IDispatch> object;
    status = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid());
    if (FAILED(status) || !object)
        throw CommandError{kExitFailed, "cannot create " + Utf8(progid) + ": " + StatusText(status) +
                                            (private_component_.empty()
                                                 ? " (the registry may name a component that moved: "
                                                   "run 'tarvex10 register' or give --component PATH)"
                                                 : "")};
    return object;
}

MessageCapture::MessageCapture(Sink sink) : sink_(std::move(sink)) { TvxSetMessageBoxHandler(&Show, this); }

MessageCapture::~MessageCapture() { TvxSetMessageBoxHandler(nullptr, nullptr); }

void MessageCapture::Show(void *context, const char *text, const char *title) {
    static_cast<MessageCapture *>(context)->sink_(text ? text : "", title ? title : "");
}

std::string MessageLine(const std::string &text, const std::string &title) {
    std::string line = title.empty() ? text : title + ": " + text;
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') continue;
        if (line[i] == '\n' || line[i] == '\r') out += " / ";
        else out += line[i];
    }
    return out;
}

void PrintHelp(const char *text, bool with_creation) {
    size_t width = 80;
    struct winsize size {};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        width = size.ws_col;
    } else if (const char *columns = std::getenv("COLUMNS")) {
        if (const std::optional<int32_t> value = ParseInt32(columns); value && *value > 0)
            width = static_cast<size_t>(*value);
    }
    std::string all = text;
    if (with_creation) all += std::string("\n") + kCreationHelp;
    std::fputs(WrapText(all, width).c_str(), stdout);
}

bool WantsHelp(const std::vector<std::string> &args) {
    for (const std::string &arg : args) {
        if (arg == "--") return false;
        if (arg == "-h" || arg == "--help") return true;
    }
    return false;
}

} // namespace tvx::cli
