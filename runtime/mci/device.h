// What the interpreter knows of a device: its command tables and one entry
// point that carries out a parsed command. Device types (mpegvideo,
// cdaudio) are listed with the names, file extensions and open function
// that the interpreter finds them by.
#ifndef TVX_RUNTIME_MCI_DEVICE_H
#define TVX_RUNTIME_MCI_DEVICE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "grammar.h"
#include "timeline.h"

namespace tvx::mci {

// What one command may need from around it. The clock is read at most once
// per command, so that every part of a command sees the same moment.
class Context {
public:
    explicit Context(Timeline &timeline) : timeline_(timeline) {}
    double Now() {
        if (!read_) {
            now_ = timeline_.Now();
            read_ = true;
        }
        return now_;
    }
    // Set by a play with "wait": the caller is held until the play ends.
    bool hold_until_stopped = false;

    // Runs `wait`, a call of the engine that may wait for pictures, with the
    // device's state let go, so that queries of the device answer meanwhile.
    // `wait` changes nothing that a query reads, except through the
    // engine, whose queries are safe at any time.
    template <typename Wait>
    void LettingQueriesIn(Wait wait) {
        if (!device_state) return wait();
        struct Relock {
            std::unique_lock<std::mutex> &state;
            ~Relock() { state.lock(); }
        };
        device_state->unlock();
        const Relock relock{*device_state};
        wait();
    }
    // The lock on the device's state, while the interpreter lets queries
    // come between the parts of a command; none while a device opens.
    std::unique_lock<std::mutex> *device_state = nullptr;

private:
    Timeline &timeline_;
    double now_ = 0;
    bool read_ = false;
};

class Device {
public:
    virtual ~Device() = default;
    virtual std::string_view TypeName() const = 0;
    virtual const CommandSet &Commands() const = 0;
    // Carries out `command`; a reply, if any, goes to `reply`. A query
    // (status, where, info, capability) changes nothing: it may come while
    // another command of the device lets queries in.
    virtual Code Execute(const Command &command, Context &context, std::string &reply) = 0;
    // Whether a play is still going on (what "play … wait" waits for).
    virtual bool Playing(Context &) { return false; }
    // Whether the last play stopped on an error rather than at its end point.
    virtual bool PlayFailed() { return false; }
};

struct OpenRequest {
    std::string_view element; // file or drive; empty when has_element is false
    bool has_element;
    const Command &command;   // the parsed open command (style, parent, ...)
    std::string_view alias;   // the name the device goes by (its window's title)
};

struct DeviceType {
    std::string_view name;
    const CommandSet &(*commands)();
    // File name extensions that select this type when no type is given.
    std::span<const std::string_view> extensions;
    Code (*open)(const OpenRequest &request, std::unique_ptr<Device> &device);
};

// Reply texts.
void ReplyNumber(std::string &reply, int64_t value);
void ReplyRect(std::string &reply, const Rect &rect);
inline void ReplyBool(std::string &reply, bool value) { reply = value ? "true" : "false"; }
inline void ReplyOnOff(std::string &reply, bool value) { reply = value ? "on" : "off"; }

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_DEVICE_H
