// The command's subcommands. Each takes the words after its name and returns
// the exit code; each prints its own help for -h or --help.
#ifndef TVX_TOOLS_TARVEX10_COMMANDS_H
#define TVX_TOOLS_TARVEX10_COMMANDS_H

#include <string>
#include <vector>

namespace tvx::cli {

using Args = std::vector<std::string>;

int RunCut(const Args &args);
int RunProbe(const Args &args);
int RunMci(const Args &args);
int RunPlay(const Args &args);
int RunCall(const Args &args);
int RunMembers(const Args &args);
int RunRegister(const Args &args, bool register_it);

// The help texts, printed by `tarvex10 help COMMAND` and `COMMAND --help`.
extern const char *const kCutHelp;
extern const char *const kProbeHelp;
extern const char *const kMciHelp;
extern const char *const kPlayHelp;
extern const char *const kCallHelp;
extern const char *const kMembersHelp;
extern const char *const kRegisterHelp;
extern const char *const kUnregisterHelp;
// How the command finds and creates the component's classes, shared by the
// help texts.
extern const char *const kCreationHelp;

// The words of a command line, options apart. Options are "--component
// PATH" (or "--component=PATH") and the flags a command names; "--" ends the
// options, and so does the first other word when `stop_at_word` is set (for
// commands whose later words are the component's or the interpreter's). A
// word like "-5" is a word, not an option. Throws CommandError (exit code 2)
// for an unknown option.
struct CommandLine {
    std::string component;
    std::vector<std::string> flags;
    Args words;

    bool Has(const std::string &flag) const;
};
CommandLine ParseCommandLine(const std::string &command, const Args &args, const std::vector<std::string> &flags,
                             bool stop_at_word);

} // namespace tvx::cli

#endif // TVX_TOOLS_TARVEX10_COMMANDS_H
