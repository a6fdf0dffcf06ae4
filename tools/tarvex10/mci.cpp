// tarvex10 mci [COMMAND]: the media control interpreter, one command or a
// shell.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "commands.h"
#include "host.h"
#include "tarvex10/platform.h"

namespace tvx::cli {

const char *const kMciHelp =
    "usage: tarvex10 mci [COMMAND ...]\n"
    "\n"
    "Sends a command string to the media control interpreter (mciSendStringA) and\n"
    "prints its code and description (mciGetErrorStringA), then the reply when\n"
    "there is one:\n"
    "\n"
    "  code 0: The command was carried out.\n"
    "  reply: 6000\n"
    "\n"
    "The words of COMMAND are joined by single blanks; quote a file name that\n"
    "holds blanks inside the command, e.g. 'open \"my clip.mpg\" type mpegvideo\n"
    "alias m'. Exit code 0 when the command succeeds, 1 when the interpreter\n"
    "answers with an error.\n"
    "\n"
    "Without COMMAND it is a shell: it reads one command per line from standard\n"
    "input until its end (or a line 'quit' or 'exit'), and devices stay open from\n"
    "one line to the next. It shows a prompt only when standard input is a\n"
    "terminal, skips blank lines and lines starting with '#', and exits with 0;\n"
    "at the end it closes whatever is still open.\n"
    "\n"
    "examples: tarvex10 mci open tests/data/system_ffmpeg.mpg type mpegvideo alias m\n"
    "          printf 'open tests/data/system_ffmpeg.mpg alias m\\nstatus m length\\n' | tarvex10 mci\n";

namespace {

// Sends `command` and prints the outcome; returns the code.
MCIERROR SendAndShow(const std::string &command) {
    char reply[1024] = {};
    const MCIERROR code = mciSendStringA(command.c_str(), reply, sizeof reply, nullptr);
    char text[256] = {};
    // The interpreter describes errors only; success gets the tool's own words.
    if (!mciGetErrorStringA(code, text, sizeof text))
        std::snprintf(text, sizeof text, "%s", code == 0 ? "The command was carried out." : "(no description)");
    std::printf("code %u: %s\n", static_cast<unsigned>(code), text);
    if (reply[0]) std::printf("reply: %s\n", reply);
    std::fflush(stdout);
    return code;
}

std::string Trim(const std::string &text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    const size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

int Shell() {
    const bool interactive = isatty(STDIN_FILENO);
    std::string line;
    while (true) {
        if (interactive) {
            std::printf("mci> ");
            std::fflush(stdout);
        }
        if (!std::getline(std::cin, line)) break;
        const std::string command = Trim(line);
        if (command.empty() || command[0] == '#') continue;
        if (command == "quit" || command == "exit") break;
        SendAndShow(command);
    }
    if (interactive) std::printf("\n");
    char reply[16];
    mciSendStringA("close all", reply, sizeof reply, nullptr);
    return kExitOk;
}

} // namespace

int RunMci(const Args &args) {
    // Only the words before the command itself are the tool's.
    Args own;
    for (const std::string &arg : args) {
        if (arg.rfind("-", 0) != 0) break;
        own.push_back(arg);
    }
    if (WantsHelp(own)) {
        PrintHelp(kMciHelp, false);
        return kExitOk;
    }
    try {
        const CommandLine line = ParseCommandLine("mci", args, {}, true);
        if (line.words.empty()) return Shell();
        std::string command;
        for (const std::string &word : line.words) command += (command.empty() ? "" : " ") + word;
        return SendAndShow(command) == 0 ? kExitOk : kExitFailed;
    } catch (const CommandError &error) {
        return Fail("mci", error.code, error.text);
    }
}

} // namespace tvx::cli
