// tarvex10: the library's command-line host.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "host.h"
#include "late.h"
#include "output.h"
#include "tarvex10/platform.h"

namespace tvx::cli {

const char *const kCreationHelp =
    "Creating the component's classes: the command creates objects by their\n"
    "programmatic identifier through the registry in use ($TVX_REGISTRY, else\n"
    "$XDG_DATA_HOME/tarvex10/registry, else ~/.local/share/tarvex10/registry).\n"
    "When the identifier is not registered there, or when --component PATH is\n"
    "given, it registers the component (and the framework library next to it)\n"
    "into a private registry file for that run only and removes it at the end, so\n"
    "nothing needs installing or registering first. The component is --component PATH, else ../lib/libtarvex10.so next to\n"
    "the command's folder, else the installed library folder.\n";

const char *const kRegisterHelp =
    "usage: tarvex10 register [--component PATH]\n"
    "\n"
    "Writes the component's classes into the registry in use ($TVX_REGISTRY, else\n"
    "$XDG_DATA_HOME/tarvex10/registry, else ~/.local/share/tarvex10/registry) by\n"
    "calling its DllRegisterServer, and those of the framework library\n"
    "libkwbasalt10.so when it lies next to the component (the component's About\n"
    "box creates it by identifier). Afterwards any program creates them by\n"
    "programmatic identifier. The component is --component PATH, else\n"
    "../lib/libtarvex10.so next to the command's folder, else the installed library\n"
    "folder.\n"
    "\n"
    "example: tarvex10 register\n";

const char *const kUnregisterHelp =
    "usage: tarvex10 unregister [--component PATH]\n"
    "\n"
    "Removes what tarvex10 register wrote (the DllUnregisterServer of the component\n"
    "and of the framework library next to it).\n"
    "\n"
    "example: tarvex10 unregister\n";

const char *const kMainHelp =
    "usage: tarvex10 COMMAND [ARG ...]\n"
    "\n"
    "The command-line host of the Tarvex10 component library.\n"
    "\n"
    "commands:\n"
    "  cut IN OUT FROM TO         cut the part FROM..TO of an MPEG-1 file into OUT\n"
    "  probe [--json] FILE        what the cutter and the media control interpreter find\n"
    "  mci [COMMAND]              send a media control command, or a shell without one\n"
    "  call PROGID [STEP ...]     create an object and call its members by name\n"
    "  members PROGID             list a class's interface\n"
    "  register                   register the component's classes\n"
    "  unregister                 remove their registration\n"
    "  help [COMMAND]             this text, or a command's\n"
    "\n"
    "--version prints the version.\n"
    "\n"
    "Every command takes --help. Errors are one line on standard error; the exit\n"
    "code is 0 on success, 1 when the work failed, 2 for a wrong command line.\n"
    "\n";

bool CommandLine::Has(const std::string &flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

CommandLine ParseCommandLine(const std::string &command, const Args &args, const std::vector<std::string> &flags,
                             bool stop_at_word) {
    CommandLine line;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        const bool looks_like_option = arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9') &&
                                       arg[1] != '.';
        if (!options || !looks_like_option) {
            line.words.push_back(arg);
            if (stop_at_word) options = false;
            continue;
        }
        if (arg == "--") {
            options = false;
        } else if (arg == "--component") {
            if (i + 1 == args.size()) throw CommandError{kExitUsage, "--component needs a PATH"};
            line.component = args[++i];
        } else if (arg.rfind("--component=", 0) == 0) {
            line.component = arg.substr(std::strlen("--component="));
            if (line.component.empty()) throw CommandError{kExitUsage, "--component needs a PATH"};
        } else if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
            line.flags.push_back(arg);
        } else {
            throw CommandError{kExitUsage, "unknown option " + arg + " (see tarvex10 " + command + " --help)"};
        }
    }
    return line;
}

int RunRegister(const Args &args, bool register_it) {
    const char *const name = register_it ? "register" : "unregister";
    if (WantsHelp(args)) {
        PrintHelp(register_it ? kRegisterHelp : kUnregisterHelp, false);
        return kExitOk;
    }
    try {
        const CommandLine line = ParseCommandLine(name, args, {}, false);
        if (!line.words.empty()) throw CommandError{kExitUsage, "takes no arguments (see tarvex10 " + std::string(name) + " --help)"};
        const std::string component = LocateComponent(line.component);
        char registry[4096] = {};
        TvxRegistryGetPath(registry, sizeof registry);
        for (const std::string &library : RegistrationSet(component)) {
            CallRegistration(library, register_it);
            std::printf("%s %s %s %s\n", register_it ? "registered" : "unregistered", library.c_str(),
                        register_it ? "in" : "from", registry);
        }
        return kExitOk;
    } catch (const CommandError &error) {
        return Fail(name, error.code, error.text);
    }
}

} // namespace tvx::cli

namespace {

int Dispatch(const std::string &command, const tvx::cli::Args &args) {
    using namespace tvx::cli;
    if (command == "cut") return RunCut(args);
    if (command == "probe") return RunProbe(args);
    if (command == "mci") return RunMci(args);
    if (command == "call") return RunCall(args);
    if (command == "members") return RunMembers(args);
    if (command == "register") return RunRegister(args, true);
    if (command == "unregister") return RunRegister(args, false);
    return Fail("", kExitUsage, "unknown command '" + command + "' (see tarvex10 --help)");
}

} // namespace

int main(int argc, char **argv) {
    using namespace tvx::cli;
    // Before any thread exists, so that every thread leaves the signals to it.
    InstallInterruptCleanup();
    const Args all(argv + 1, argv + argc);
    if (all.empty()) {
        std::fputs(kMainHelp, stderr);
        return kExitUsage;
    }
    const std::string &command = all[0];
    if (command == "--version" || command == "-V") {
        std::printf("tarvex10 %s\n", TVX_VERSION);
        return kExitOk;
    }
    if (command == "-h" || command == "--help" || (command == "help" && all.size() == 1)) {
        PrintHelp(kMainHelp, false);
        PrintHelp(kCreationHelp, false);
        return kExitOk;
    }
    if (command == "help") {
        if (all.size() > 2) return Fail("help", kExitUsage, "takes one COMMAND (see tarvex10 --help)");
        return Dispatch(all[1], {"--help"});
    }
    return Dispatch(command, Args(all.begin() + 1, all.end()));
}
