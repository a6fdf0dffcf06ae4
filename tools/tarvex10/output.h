// Files the command writes never destroy what was there: an output is
// written under a temporary name next to it and renamed over it only when
// it is complete, and an interrupted command removes what it made.
#ifndef TVX_TOOLS_TARVEX10_OUTPUT_H
#define TVX_TOOLS_TARVEX10_OUTPUT_H

#include <string>

namespace tvx::cli {

// SIGINT, SIGTERM and SIGHUP are blocked in every thread and taken by a
// thread of their own, which removes the paths in hand (files, or folders
// with what is in them) and ends the process with 128 + the signal's number.
// Install it first thing in main, before any other thread exists.
void InstallInterruptCleanup();
void RemoveOnInterrupt(const std::string &path);
void KeepOnInterrupt(const std::string &path);

// What to do when the output exists.
enum class Overwrite { Refuse, Allow, Never };

// Refuses, with the reason (CommandError, exit code 1), an output that is the
// input (however either is named), that is a folder, or that exists and may
// not be overwritten. `in` must exist.
void CheckOutputPath(const std::string &in, const std::string &out, Overwrite overwrite);

// A temporary file in the output's folder, removed unless committed.
class PendingOutput {
public:
    // Throws CommandError (exit code 1) with the system's reason.
    explicit PendingOutput(std::string out);
    PendingOutput(const PendingOutput &) = delete;
    PendingOutput &operator=(const PendingOutput &) = delete;
    ~PendingOutput();

    const std::string &Path() const { return temp_; }
    // Gives the file the usual permissions and renames it over the output.
    void Commit();

private:
    std::string out_;
    std::string temp_;
    bool committed_ = false;
};

} // namespace tvx::cli

#endif // TVX_TOOLS_TARVEX10_OUTPUT_H
