// What the movie player's tests share: a player driven through its
// early-bound interface, a scripted channel, and a witness that notes the
// player's Error at the moment each command reaches the channel, so that a
// test sees which code was recorded before the next command went out.
#ifndef TVX_TESTS_MOVIES_PLAYER_FIXTURE_H
#define TVX_TESTS_MOVIES_PLAYER_FIXTURE_H

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "component/registry.h"
#include "support/scripted_channel.h"
#include "tarvex10/tarvex10.h"

namespace tvx::testing {

// Sits in front of the scripted channel (installed after it, removed before
// it) and hands every call on to it.
class ErrorWitness {
public:
    explicit ErrorWitness(_clsKwVidoMoviesA *&movie) : movie_(movie) {
        TVXMCIHANDLER mine{&Send, &Describe, this};
        TvxSetMciHandler(&mine, &inner_);
    }
    ~ErrorWitness() { TvxSetMciHandler(&inner_, nullptr); }
    ErrorWitness(const ErrorWitness &) = delete;
    ErrorWitness &operator=(const ErrorWitness &) = delete;

    // Error as it stood when each command arrived, in order.
    std::vector<LONG> seen;
    // Runs before a command is answered (to change the script mid-call).
    std::function<void(const std::string &command)> before_answer;

private:
    static MCIERROR Send(void *context, const char *command, char *reply, UINT capacity, HWND callback) {
        auto *self = static_cast<ErrorWitness *>(context);
        LONG error = -1;
        if (self->movie_) self->movie_->get_Error(&error);
        self->seen.push_back(error);
        if (self->before_answer) self->before_answer(command ? command : "");
        return self->inner_.send(self->inner_.context, command, reply, capacity, callback);
    }
    static BOOL Describe(void *context, MCIERROR code, char *text, UINT capacity) {
        auto *self = static_cast<ErrorWitness *>(context);
        return self->inner_.get_error_string(self->inner_.context, code, text, capacity);
    }

    _clsKwVidoMoviesA *&movie_;
    TVXMCIHANDLER inner_{};
};

// Parameterless members with a text, number or (always Empty) Variant result.
using TextMember = HRESULT (_clsKwVidoMoviesA::*)(BSTR *);
using NumberMember = HRESULT (_clsKwVidoMoviesA::*)(LONG *);
using EmptyMember = HRESULT (_clsKwVidoMoviesA::*)(VARIANT *);

class PlayerTest : public ::testing::Test {
protected:
    PlayerTest() { SetErrorInfo(0, nullptr); }
    ~PlayerTest() override { SetErrorInfo(0, nullptr); }

    // Starts over with a fresh object (an all-NUL reply buffer, Error 0).
    void NewPlayer() {
        object_ = ComPtr<_clsKwVidoMoviesA>::Attach(
            reinterpret_cast<_clsKwVidoMoviesA *>(tvx::MoviesClass().create()));
        movie_ = object_.Get();
        channel_.ClearCalls();
        witness_.seen.clear();
    }

    LONG Error() {
        LONG value = -1;
        EXPECT_EQ(movie_->get_Error(&value), S_OK);
        return value;
    }
    void ClearLog() {
        channel_.ClearCalls();
        witness_.seen.clear();
    }
    std::vector<std::string> Commands() const { return channel_.Commands(); }

    HRESULT CallText(TextMember member, std::u16string &text) {
        Bstr value;
        HRESULT status = (movie_->*member)(value.Put());
        text = value.Str();
        return status;
    }
    HRESULT CallNumber(NumberMember member, LONG &number) {
        number = 12345; // the member must overwrite it
        return (movie_->*member)(&number);
    }
    // A member with an always-Empty Variant result.
    HRESULT CallEmpty(EmptyMember member) {
        Variant result = Variant::I4(99);
        HRESULT status = (movie_->*member)(result.Put());
        EXPECT_EQ(result.Type(), VT_EMPTY);
        return status;
    }

    ScriptedChannel channel_;
    ComPtr<_clsKwVidoMoviesA> object_ =
        ComPtr<_clsKwVidoMoviesA>::Attach(reinterpret_cast<_clsKwVidoMoviesA *>(tvx::MoviesClass().create()));
    _clsKwVidoMoviesA *movie_ = object_.Get();
    ErrorWitness witness_{movie_};
};

// The reply buffer after `reply` landed on `before` (the channel contract:
// the reply, one NUL, the rest as it was).
inline std::u16string Overwritten(std::u16string before, std::string_view reply) {
    for (size_t i = 0; i < reply.size() && i + 1 < before.size(); ++i) before[i] = static_cast<char16_t>(reply[i]);
    before[std::min(reply.size(), before.size() - 1)] = u'\0';
    return before;
}

inline const std::u16string kFreshBuffer(128, u'\0');

constexpr HRESULT kOverflowStatus = static_cast<HRESULT>(0x800A0006);
constexpr HRESULT kTypeMismatchStatus = static_cast<HRESULT>(0x800A000D);

} // namespace tvx::testing

#endif // TVX_TESTS_MOVIES_PLAYER_FIXTURE_H
