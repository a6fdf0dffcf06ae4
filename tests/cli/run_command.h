// Runs the tarvex10 command as a separate process, for the end-to-end tests.
#ifndef TVX_TESTS_CLI_RUN_COMMAND_H
#define TVX_TESTS_CLI_RUN_COMMAND_H

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char **environ;

namespace {

const std::string kCommand = TVX_COMMAND;

struct Result {
    int exit_code = -1;
    std::string out;
    std::string err;
};

inline std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
    return text;
}

inline std::string ReadFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Runs the command with `args`, feeding `input` to its standard input.
inline Result Tool(const std::vector<std::string> &args, const std::string &input = "") {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    EXPECT_EQ(pipe(in_pipe), 0);
    EXPECT_EQ(pipe(out_pipe), 0);
    EXPECT_EQ(pipe(err_pipe), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
        posix_spawn_file_actions_addclose(&actions, fd);
    std::vector<char *> argv{const_cast<char *>(kCommand.c_str())};
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, kCommand.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    Result result;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << kCommand;
        for (int fd : {in_pipe[1], out_pipe[0], err_pipe[0]}) close(fd);
        return result;
    }
    // Standard error is read on its own thread so that neither pipe fills up.
    std::thread writer([&] {
        size_t done = 0;
        while (done < input.size()) {
            const ssize_t wrote = write(in_pipe[1], input.data() + done, input.size() - done);
            if (wrote <= 0) break;
            done += static_cast<size_t>(wrote);
        }
        close(in_pipe[1]);
    });
    std::thread error_reader([&] { result.err = ReadAll(err_pipe[0]); });
    result.out = ReadAll(out_pipe[0]);
    error_reader.join();
    writer.join();
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

// Runs the command with `args` on a terminal of its own and types each key
// (its bytes) at its time in seconds; the output is what the terminal
// showed. A command still running after 20 s is killed (exit code 128 + 9).
inline Result OnTerminal(const std::vector<std::string> &args, const std::vector<std::pair<double, std::string>> &keys) {
    std::vector<char *> argv{const_cast<char *>(kCommand.c_str())};
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execv(kCommand.c_str(), argv.data());
        _exit(127);
    }
    Result result;
    if (pid < 0) {
        ADD_FAILURE() << "cannot start " << kCommand << " on a terminal";
        return result;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    size_t typed = 0;
    int status = 0;
    for (;;) {
        for (; typed < keys.size() && seconds() >= keys[typed].first; ++typed)
            EXPECT_EQ(write(terminal, keys[typed].second.data(), keys[typed].second.size()),
                      static_cast<ssize_t>(keys[typed].second.size()));
        pollfd out{terminal, POLLIN, 0};
        if (poll(&out, 1, 20) > 0) {
            char buffer[4096];
            const ssize_t got = read(terminal, buffer, sizeof buffer);
            if (got > 0) result.out.append(buffer, static_cast<size_t>(got));
        }
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        if (seconds() > 20) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
    }
    close(terminal);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

inline std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

} // namespace

#endif // TVX_TESTS_CLI_RUN_COMMAND_H
