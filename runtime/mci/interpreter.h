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
// serves every thread. Opening, closing and naming devices change or read
// the table under that lock; the table's lock is let go before a device
// acts, so that a device waiting for its picture (an open, a seek, a step)
// or a "play … wait" holds up no other device. Opens of one name follow
// one another: a command that names a device being opened waits for that
// open, and then finds the device, as if it had come after it.
//
// A device has two locks of its own. Commands that act on it (all but the
// queries status, where, info and capability) hold `commands` throughout,
// so that they follow one another and reach the device's state and its
// engine in the same order. What a query reads is read and changed under
// `state`, which a query takes alone; a command lets go of it while its
// engine waits for pictures, changing nothing meanwhile, so that a query
// answers at once. A command holds a share of its device: a close that
// comes meanwhile takes the device out of the table at once, and the
// device goes when that command is done.
//
// A command with "notify" (and a callback handle) gets a notification of
// how it ended (notice.h). A play's is pending while it plays; a watcher
// thread, running while one is pending, posts it once the play has ended.
#ifndef TVX_RUNTIME_MCI_INTERPRETER_H
#define TVX_RUNTIME_MCI_INTERPRETER_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "device.h"
#include "notice.h"
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
    // `callback`: the caller's handle for notifications (0: none wanted).
    [[nodiscard]] Code Send(std::string_view command, std::string &reply, size_t room = SIZE_MAX,
                            void *callback = nullptr);

private:
    // An open device and the locks its commands run under.
    struct Opened {
        explicit Opened(std::unique_ptr<Device> d) : device(std::move(d)) {}
        std::mutex commands; // taken before `state`
        std::mutex state;
        std::atomic<bool> closed{false}; // out of the table (set under the table's lock)
        std::unique_ptr<Device> device;
        uint32_t id = 0;
        // A play's notification, under a lock of its own so that a close
        // can abort it without waiting for a command in progress.
        std::mutex notice_mutex;
        std::optional<Notice> pending;
    };
    struct Entry {
        std::string alias;
        uint32_t id;
        bool automatic; // opened by a command that named a type or file
        std::shared_ptr<Opened> opened;
    };
    using Closed = std::vector<std::shared_ptr<Opened>>;

    Entry *Find(std::string_view alias);
    // The same, once an open of that name under way has ended.
    Entry *FindSettled(std::string_view alias, std::unique_lock<std::mutex> &lock);
    // An open of `alias` begins or ends (with the table's lock held).
    void Opening(const std::string &alias);
    void OpeningEnded(const std::string &alias);
    // The smallest device number not in use.
    uint32_t FreeId() const;
    void Add(std::string_view alias, bool automatic, std::shared_ptr<Opened> opened);
    // Take devices out of the table; they are closed when the caller drops
    // them, after letting go of the table's lock.
    std::shared_ptr<Opened> Remove(const Entry &entry);
    Closed RemoveAll();
    // What a command comes with besides its words.
    struct Call {
        std::string_view command;
        size_t room;
        void *callback;
        std::unique_lock<std::mutex> &lock; // the table's
    };
    [[nodiscard]] Code Run(Call &call, std::span<const Token> tokens, std::string &reply);
    [[nodiscard]] Code Open(Call &call, std::span<const Token> tokens, std::string &reply);
    [[nodiscard]] Code ForAll(Call &call, const VerbName &verb, std::span<const Token> words, Context &context,
                              std::string &reply);
    [[nodiscard]] Code SysInfo(const Token &name, std::span<const Token> words, std::string &reply);
    [[nodiscard]] Code AutoOpen(const VerbName &verb, const Token &name, std::span<const Token> words,
                                Context &context, std::unique_lock<std::mutex> &lock, std::string &reply);
    // Carries out `command` on `opened` under its locks, the table's lock
    // let go; kInvalidDeviceName when a close came first.
    [[nodiscard]] Code Execute(const std::shared_ptr<Opened> &opened, const Command &command, Context &context,
                               std::string &reply, const std::optional<Notice> &asked);
    // Holds the caller (without the table's lock) until the device stops
    // playing or is closed.
    void WaitWhilePlaying(Opened &opened);
    // What a notification asked for by `parsed` goes to, if any.
    static std::optional<Notice> Asked(const Call &call, const Command &parsed, uint32_t device);
    // Tells a closed device's pending play that it was cut short.
    static void Closing(Opened &opened, const std::optional<Notice> &asked);
    // Posts a pending play's notification once the play has ended; true
    // when none is pending any more. With both of the device's locks held:
    // a command under way may stop the play, which then ended cut short.
    static bool Conclude(Opened &opened, Context &context);
    // The watcher thread: concludes the plays whose notifications are pending.
    void Watch(std::shared_ptr<Opened> opened);
    void Watcher();

    std::mutex mutex_;
    // The open devices in the order they were opened (what "sysinfo … name n"
    // counts), found by alias through an index; device numbers given back by
    // a close are handed out again, smallest first. Thousands of devices may
    // be open, so none of this walks the whole table.
    std::list<Entry> entries_;
    std::unordered_map<std::string, std::list<Entry>::iterator> by_alias_; // alias in ASCII lower case
    std::set<uint32_t> returned_ids_; // all below next_id_
    std::set<std::string> opening_;   // aliases being opened, in ASCII lower case
    std::condition_variable open_ended_;
    uint32_t next_id_ = 1;
    Timeline timeline_;

    std::mutex watch_mutex_;
    std::condition_variable watch_wake_;
    std::vector<std::shared_ptr<Opened>> watched_;
    bool watcher_started_ = false;
};

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_INTERPRETER_H
