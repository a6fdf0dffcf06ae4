// What every command shares: options, finding the component, creating an
// object by its programmatic identifier, and the message box.
#ifndef TVX_TOOLS_TARVEX10_HOST_H
#define TVX_TOOLS_TARVEX10_HOST_H

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tarvex10/automation.hpp"

namespace tvx::cli {

// Exit codes: 0 done, 1 the work failed, 2 the command line was wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// A failure to report as one line, "tarvex10 COMMAND: TEXT", and an exit code.
struct CommandError {
    int code;
    std::string text;
};

// Prints "tarvex10 COMMAND: TEXT" on standard error and gives the code.
int Fail(const std::string &command, int code, const std::string &text);

// The component: `explicit_path` when given, else the first candidate
// (support.h, ComponentCandidates) that exists. Throws CommandError.
std::string LocateComponent(const std::string &explicit_path);

// The libraries to register for the component: the component itself and,
// when it lies next to it, the framework library whose classes the
// component creates by identifier (libkwbasalt10.so).
std::vector<std::string> RegistrationSet(const std::string &component);
// Loads `library` and calls its DllRegisterServer or DllUnregisterServer.
// Throws CommandError (exit code 1) with the reason.
void CallRegistration(const std::string &library, bool register_it);

// Creates objects by programmatic identifier. When the identifier is not in
// the registry in use, or when a component path was given, the component is
// registered into a private registry file for this run only, which goes away
// with the session.
class Session {
public:
    explicit Session(std::string component_path) : component_path_(std::move(component_path)) {}
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    ~Session();

    // Throws CommandError (exit code 1) with the reason.
    ComPtr<IDispatch> Create(std::u16string_view progid);
    // The component registered for this run, empty when the registry in use
    // already knew the identifier.
    const std::string &PrivateComponent() const { return private_component_; }

private:
    void UsePrivateRegistry();

    std::string component_path_;
    std::string private_dir_;
    std::string private_component_;
};

// Installs a message box that hands each message to `sink` on the thread that
// shows it, and restores the built-in one when it goes. Messages of the
// component arrive while a member runs, on the object's thread.
class MessageCapture {
public:
    using Sink = std::function<void(const std::string &text, const std::string &title)>;
    explicit MessageCapture(Sink sink);
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;
    ~MessageCapture();

private:
    static void Show(void *context, const char *text, const char *title);
    Sink sink_;
};

// One message as a line: the title, when there is one, then the text, with
// line breaks turned into " / ".
std::string MessageLine(const std::string &text, const std::string &title);

// Prints a help text on standard output, rewrapped to the terminal's width
// (or $COLUMNS, else 80 columns), followed by how the command creates the
// component's classes when `with_creation` is set.
void PrintHelp(const char *text, bool with_creation);

// True when `args` asks for help (-h or --help anywhere before a "--").
bool WantsHelp(const std::vector<std::string> &args);

} // namespace tvx::cli

#endif // TVX_TOOLS_TARVEX10_HOST_H
