// The interpreter behind mciSendStringA: it reads a command, finds the
// device that the command names and lets it act.
//
//   tokenizer     a command text into words; the integers in it
//   grammar       the shape of a command, as each device's tables say
//   core_commands the tables of the keywords every device knows
//   timeline      time for playback from the platform clock, forward only
//   transport     where a playing device stands: mode and position
//   probe         what an MPEG-1 file holds (picture size, rate, length)
//   device.h      what the interpreter knows of a device type
//   mpegvideo     the mpegvideo device; cdaudio the CD device
//   interpreter   the alias table and the dispatch of commands to devices
//   errors.h      the interface's error numbers
//
// Devices belong to the process: one table of aliases, under one lock,
// serves every thread. A command is read and carried out under that lock,
// so commands from several threads follow one another whole; only a
// "play … wait" lets go of it while it waits for the play to end.
#ifndef TVX_RUNTIME_MCI_INTERPRETER_H
#define TVX_RUNTIME_MCI_INTERPRETER_H

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "device.h"
#include "timeline.h"

namespace tvx::mci {

class Interpreter {
public:
    // The one interpreter of the process.
    static Interpreter &Instance();

    // Carries out `command`. On success `reply` holds the reply text (often
    // empty); on an error it is empty.
    // `room`: the characters the caller's reply area holds before its NUL,
    // or SIZE_MAX when the caller takes no reply. An open whose reply (the
    // device's number) would not fit is refused before the device opens.
    [[nodiscard]] Code Send(std::string_view command, std::string &reply, size_t room = SIZE_MAX);

private:
    struct Entry {
        std::string alias;
        uint32_t id;
        bool automatic; // opened by a command that named a type or file
        std::unique_ptr<Device> device;
    };

    Entry *Find(std::string_view alias);
    // The smallest device number not in use.
    uint32_t FreeId() const;
    void Add(std::string_view alias, bool automatic, std::unique_ptr<Device> device);
    void Remove(const Entry &entry);
    void RemoveAll();
    [[nodiscard]] Code Run(std::string_view command, std::span<const Token> tokens, size_t room,
                           std::unique_lock<std::mutex> &lock, std::string &reply);
    [[nodiscard]] Code Open(std::string_view command, std::span<const Token> tokens, size_t room, std::string &reply);
    [[nodiscard]] Code ForAll(const VerbName &verb, std::span<const Token> words, Context &context,
                              std::unique_lock<std::mutex> &lock, std::string &reply);
    [[nodiscard]] Code SysInfo(const Token &name, std::span<const Token> words, std::string &reply);
    [[nodiscard]] Code AutoOpen(const VerbName &verb, const Token &name, std::span<const Token> words,
                                Context &context, std::unique_lock<std::mutex> &lock, std::string &reply);
    // Holds the caller (without the lock) until the device stops playing or
    // goes away.
    void WaitWhilePlaying(const Device *device, std::unique_lock<std::mutex> &lock);

    std::mutex mutex_;
    // The open devices in the order they were opened (what "sysinfo … name n"
    // counts), found by alias through an index; device numbers given back by
    // a close are handed out again, smallest first. Thousands of devices may
    // be open, so none of this walks the whole table.
    std::list<Entry> entries_;
    std::unordered_map<std::string, std::list<Entry>::iterator> by_alias_; // alias in ASCII lower case
    std::set<uint32_t> returned_ids_; // all below next_id_
    uint32_t next_id_ = 1;
    Timeline timeline_;
};

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_INTERPRETER_H
