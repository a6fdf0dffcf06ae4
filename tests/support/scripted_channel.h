// A media control interface for tests: it records every command with the
// reply area and capacity it was given, and answers with scripted codes and
// replies, keeping the buffer contract (at most capacity - 1 characters and
// a NUL; the rest of the buffer untouched; capacity 0 touches nothing).
// Installing one replaces the process's interface until it goes away.
#ifndef TVX_TESTS_SCRIPTED_CHANNEL_H
#define TVX_TESTS_SCRIPTED_CHANNEL_H

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tarvex10/platform.h"

namespace tvx::testing {

class ScriptedChannel {
public:
    struct Call {
        std::string command;
        std::string buffer; // the reply area as it was handed over, whole
        UINT capacity;
        bool has_buffer;
    };
    struct Answer {
        MCIERROR code = 0;
        std::optional<std::string> reply; // nothing written when absent
    };

    ScriptedChannel() {
        TVXMCIHANDLER mine{&Send, &Describe, this};
        TvxSetMciHandler(&mine, &previous_);
    }
    ~ScriptedChannel() { TvxSetMciHandler(&previous_, nullptr); }
    ScriptedChannel(const ScriptedChannel &) = delete;
    ScriptedChannel &operator=(const ScriptedChannel &) = delete;

    // From now on `command` answers with `code` and, when given, `reply`.
    void On(const std::string &command, MCIERROR code, std::optional<std::string> reply = std::nullopt) {
        answers_[command] = Answer{code, std::move(reply)};
    }
    // The description that the error-text call gives for `code`.
    void Describe(MCIERROR code, const std::string &text) { descriptions_[code] = text; }

    const std::vector<Call> &Calls() const { return calls_; }
    std::vector<std::string> Commands() const {
        std::vector<std::string> commands;
        for (const Call &c : calls_) commands.push_back(c.command);
        return commands;
    }
    void ClearCalls() { calls_.clear(); }

private:
    static void Write(const std::string &text, char *buffer, UINT capacity) {
        if (!buffer || capacity == 0) return;
        size_t n = std::min<size_t>(text.size(), capacity - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }

    static MCIERROR Send(void *context, const char *command, char *reply, UINT capacity, HWND) {
        auto *self = static_cast<ScriptedChannel *>(context);
        Call call{command ? command : "", {}, capacity, reply != nullptr};
        if (reply) call.buffer.assign(reply, std::max<size_t>(capacity, std::strlen(reply)));
        self->calls_.push_back(call);
        auto it = self->answers_.find(call.command);
        Answer answer = it == self->answers_.end() ? Answer{} : it->second;
        if (answer.reply) Write(*answer.reply, reply, capacity);
        return answer.code;
    }

    static BOOL Describe(void *context, MCIERROR code, char *text, UINT capacity) {
        auto *self = static_cast<ScriptedChannel *>(context);
        auto it = self->descriptions_.find(code);
        if (it == self->descriptions_.end()) return 0;
        Write(it->second, text, capacity);
        return 1;
    }

    TVXMCIHANDLER previous_{};
    std::map<std::string, Answer> answers_;
    std::map<MCIERROR, std::string> descriptions_;
    std::vector<Call> calls_;
};

} // namespace tvx::testing

#endif // TVX_TESTS_SCRIPTED_CHANNEL_H
