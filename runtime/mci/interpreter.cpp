#include "interpreter.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <thread>

#include "ascii/ascii.h"
#include "cdaudio.h"
#include "core_commands.h"
#include "mpegvideo.h"
#include "tarvex10/platform.h"

namespace tvx::mci {
namespace {

constexpr std::string_view kMpegExtensions[] = {"mpg", "mpeg", "mpe", "m1v", "m1s", "mpv"};

const DeviceType kTypes[] = {
    {"mpegvideo", &MpegVideoCommands, kMpegExtensions, &OpenMpegVideo},
    {"cdaudio", &CdAudioCommands, {}, &OpenCdAudio},
};

using ascii::EqualFolded;
using ascii::LowerCase;

const DeviceType *TypeNamed(std::string_view name) {
    for (const DeviceType &type : kTypes)
        if (EqualFolded(name, type.name)) return &type;
    return nullptr;
}

bool IsAll(const Token &token) { return !token.quoted && SameWord(token.text, "all"); }

// What a device name or open element stands for: a type (with or without a
// file), or nothing the interpreter knows.
struct Target {
    Code error = kOk;
    const DeviceType *type = nullptr;
    std::string_view element = {};
    bool has_element = false;
};

// "type!element", a type name, or a file whose extension names a type.
Target Resolve(std::string_view name) {
    const size_t bang = name.find('!');
    if (bang != std::string_view::npos) {
        const DeviceType *type = TypeNamed(name.substr(0, bang));
        if (!type || bang + 1 == name.size()) return {kInvalidDeviceName};
        return {kOk, type, name.substr(bang + 1), true};
    }
    if (const DeviceType *type = TypeNamed(name)) return {kOk, type, {}, false};
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {kInvalidDeviceName};
    const std::string_view extension = name.substr(dot + 1);
    for (const DeviceType &type : kTypes)
        for (std::string_view known : type.extensions)
            if (EqualFolded(extension, known)) return {kOk, &type, name, true};
    return {kExtensionNotFound};
}

// Every word that any open table knows: where an unquoted file name ends.
bool IsOpenKeyword(std::string_view word) {
    auto in = [word](std::span<const Keyword> table) {
        return std::any_of(table.begin(), table.end(), [word](const Keyword &k) { return SameWord(word, k.words); });
    };
    if (in(core::kOpen)) return true;
    for (const DeviceType &type : kTypes)
        if (const VerbTable *table = type.commands().Find(Verb::Open); table && in(table->extension)) return true;
    return false;
}

// Queries change nothing, so they may come between the parts of a command.
bool IsQuery(Verb verb) {
    return verb == Verb::Status || verb == Verb::Where || verb == Verb::Info || verb == Verb::Capability;
}

bool IsFile(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

void ReplyNumber(std::string &reply, int64_t value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    reply.assign(text, result.ptr);
}

void ReplyRect(std::string &reply, const Rect &rect) {
    reply.clear();
    for (int32_t value : {rect.left, rect.top, rect.width, rect.height}) {
        char text[16];
        const auto result = std::to_chars(text, text + sizeof text, value);
        if (!reply.empty()) reply += ' ';
        reply.append(text, result.ptr);
    }
}

Interpreter &Interpreter::Instance() {
    // Never destroyed: a client may still send commands while the process
    // winds down.
    static Interpreter *instance = new Interpreter;
    return *instance;
}

Interpreter::Entry *Interpreter::Find(std::string_view alias) {
    const auto found = by_alias_.find(LowerCase(alias));
    return found == by_alias_.end() ? nullptr : &*found->second;
}

Interpreter::Entry *Interpreter::FindSettled(std::string_view alias, std::unique_lock<std::mutex> &lock) {
    while (!opening_.empty() && opening_.contains(LowerCase(alias))) open_ended_.wait(lock);
    return Find(alias);
}

void Interpreter::Opening(const std::string &alias) { opening_.insert(LowerCase(alias)); }

void Interpreter::OpeningEnded(const std::string &alias) {
    opening_.erase(LowerCase(alias));
    open_ended_.notify_all();
}

uint32_t Interpreter::FreeId() const { return returned_ids_.empty() ? next_id_ : *returned_ids_.begin(); }

void Interpreter::Add(std::string_view alias, bool automatic, std::shared_ptr<Opened> opened) {
    const uint32_t id = FreeId();
    if (returned_ids_.erase(id) == 0) ++next_id_;
    opened->id = id;
    entries_.push_back({std::string(alias), id, automatic, std::move(opened)});
    by_alias_.emplace(LowerCase(alias), std::prev(entries_.end()));
}

std::shared_ptr<Interpreter::Opened> Interpreter::Remove(const Entry &entry) {
    const auto found = by_alias_.find(LowerCase(entry.alias));
    returned_ids_.insert(entry.id);
    const auto at = found->second;
    std::shared_ptr<Opened> opened = std::move(at->opened);
    opened->closed = true;
    by_alias_.erase(found);
    entries_.erase(at);
    return opened;
}

Interpreter::Closed Interpreter::RemoveAll() {
    Closed closed;
    for (Entry &entry : entries_) {
        entry.opened->closed = true;
        closed.push_back(std::move(entry.opened));
    }
    entries_.clear();
    by_alias_.clear();
    returned_ids_.clear();
    next_id_ = 1;
    return closed;
}

Code Interpreter::Send(std::string_view command, std::string &reply, size_t room, void *callback) {
    reply.clear();
    thread_local std::vector<Token> tokens;
    if (Code code = Tokenize(command, tokens); code != kOk) return code;
    if (tokens.empty()) return kMissingCommandString;
    std::unique_lock lock(mutex_);
    Call call{command, room, callback, lock};
    const Code code = Run(call, tokens, reply);
    if (code != kOk) reply.clear();
    return code;
}

std::optional<Notice> Interpreter::Asked(const Call &call, const Command &parsed, uint32_t device) {
    if (!call.callback || !parsed.Has(Key::Notify)) return std::nullopt;
    return Notice{call.callback, TvxCurrentThreadId(), device};
}

Code Interpreter::Execute(const std::shared_ptr<Opened> &opened, const Command &command, Context &context,
                          std::string &reply, const std::optional<Notice> &asked) {
    // A query never waits for a command under way: it tells of a play that
    // ended only when there is none.
    const bool query = IsQuery(command.verb);
    std::unique_lock ordered(opened->commands, std::defer_lock);
    if (query) (void)ordered.try_lock();
    else ordered.lock();
    std::unique_lock state(opened->state);
    if (opened->closed) return kInvalidDeviceName; // the close came first
    // A play that ended before this command is told so first.
    if (ordered) Conclude(*opened, context);
    if (!query) context.device_state = &state;
    const Code code = opened->device->Execute(command, context, reply);
    context.device_state = nullptr;
    if (code != kOk) return code; // a failed command tells nobody, and cuts nothing short
    const Verb verb = command.verb;
    const bool moves = verb == Verb::Play || verb == Verb::Stop || verb == Verb::Pause || verb == Verb::Seek ||
                       verb == Verb::Step;
    std::lock_guard noticing(opened->notice_mutex);
    if (opened->pending && (asked || moves)) {
        Post(*opened->pending, asked ? kSuperseded : kAborted);
        opened->pending.reset();
    }
    if (!asked) return code;
    if (verb == Verb::Play && opened->device->Playing(context)) {
        opened->pending = asked;
        Watch(opened);
    } else {
        Post(*asked, kSuccessful);
    }
    return code;
}

void Interpreter::Closing(Opened &opened, const std::optional<Notice> &asked) {
    std::lock_guard noticing(opened.notice_mutex);
    if (opened.pending) Post(*opened.pending, kAborted);
    opened.pending.reset();
    if (asked) Post(*asked, kSuccessful);
}

bool Interpreter::Conclude(Opened &opened, Context &context) {
    std::lock_guard noticing(opened.notice_mutex);
    if (!opened.pending) return true;
    if (opened.device->Playing(context)) return false;
    Post(*opened.pending, opened.device->PlayFailed() ? kFailure : kSuccessful);
    opened.pending.reset();
    return true;
}

void Interpreter::Watch(std::shared_ptr<Opened> opened) {
    std::lock_guard lock(watch_mutex_);
    watched_.push_back(std::move(opened));
    if (!watcher_started_) {
        // Lives as long as the process, like the interpreter.
        std::thread([this] { Watcher(); }).detach();
        watcher_started_ = true;
    }
    watch_wake_.notify_one();
}

void Interpreter::Watcher() {
    constexpr auto kRound = std::chrono::milliseconds(5);
    while (true) {
        std::vector<std::shared_ptr<Opened>> round, again;
        {
            std::unique_lock lock(watch_mutex_);
            watch_wake_.wait(lock, [this] { return !watched_.empty(); });
            round.swap(watched_);
        }
        std::this_thread::sleep_for(kRound);
        for (const auto &opened : round) {
            // A device busy with a command is looked at again next round.
            std::unique_lock ordered(opened->commands, std::try_to_lock);
            if (!ordered) {
                again.push_back(opened);
                continue;
            }
            std::lock_guard state(opened->state);
            Context context(timeline_);
            if (!opened->closed && !Conclude(*opened, context)) again.push_back(opened);
        }
        round.clear(); // a device closed meanwhile goes here, with no lock held
        std::lock_guard lock(watch_mutex_);
        watched_.insert(watched_.end(), again.begin(), again.end());
    }
}

Code Interpreter::Run(Call &call, std::span<const Token> tokens, std::string &reply) {
    std::unique_lock<std::mutex> &lock = call.lock;
    const VerbName *verb = FindVerb(tokens[0].text);
    if (!verb) return kUnrecognizedCommand;
    if (verb->verb == Verb::Open) return Open(call, tokens, reply);
    if (tokens.size() < 2) return kMissingDeviceName;
    const Token &name = tokens[1];
    const auto words = tokens.subspan(2);
    Context context(timeline_);
    if (IsAll(name)) return ForAll(call, *verb, words, context, reply);
    if (verb->verb == Verb::Sysinfo) return SysInfo(name, words, reply);

    Entry *entry = FindSettled(name.text, lock);
    if (!entry) {
        // Device verbs are known only to devices, and there is none to ask.
        if (!verb->core) return kUnrecognizedCommand;
        if (verb->verb == Verb::Close) return kInvalidDeviceName;
        return AutoOpen(*verb, name, words, context, lock, reply);
    }
    const VerbTable *table = entry->opened->device->Commands().Find(verb->verb);
    if (!table) return kUnrecognizedCommand;
    Command parsed;
    if (Code code = Parse(*table, words, parsed); code != kOk) return code;
    const std::optional<Notice> asked = Asked(call, parsed, entry->id);
    if (verb->verb == Verb::Close) {
        const std::shared_ptr<Opened> closed = Remove(*entry);
        lock.unlock(); // a pipeline may take a while to wind down
        Closing(*closed, asked);
        return kOk;
    }
    const std::shared_ptr<Opened> opened = entry->opened;
    lock.unlock();
    const Code code = Execute(opened, parsed, context, reply, asked);
    if (code == kOk && context.hold_until_stopped) WaitWhilePlaying(*opened);
    return code;
}

Code Interpreter::Open(Call &call, std::span<const Token> tokens, std::string &reply) {
    const std::string_view command = call.command;
    const size_t room = call.room;
    std::unique_lock<std::mutex> &lock = call.lock;
    if (tokens.size() < 2) return kMissingDeviceName;
    const Token &name = tokens[1];
    if (IsAll(name)) return kCannotUseAll;

    // A file name with blanks should be quoted; when it is not, the words up
    // to the first keyword are taken together if they name a file.
    std::string element(name.text);
    size_t next = 2;
    if (!name.quoted) {
        size_t k = 2;
        while (k < tokens.size() && !IsOpenKeyword(tokens[k].text)) ++k;
        if (k > 2) {
            std::string joined(command.substr(name.begin, tokens[k - 1].end - name.begin));
            if (IsFile(joined)) {
                element = std::move(joined);
                next = k;
            }
        }
    }
    const auto words = tokens.subspan(next);

    // The type: named by "type", or by the element itself.
    const Token *type_word = nullptr;
    bool alias_given = false;
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i].quoted) continue;
        if (!type_word && SameWord(words[i].text, "type")) type_word = &words[i + 1];
        if (SameWord(words[i].text, "alias")) alias_given = true;
    }
    const bool is_new = !name.quoted && SameWord(name.text, "new");
    if (is_new && !alias_given) return kNewRequiresAlias;
    Target target;
    if (type_word) {
        target.type = TypeNamed(type_word->text);
        if (!target.type) return kInvalidDeviceName;
        target.element = element;
        target.has_element = !is_new;
    } else {
        target = Resolve(element);
        if (target.error != kOk) return target.error;
    }

    const VerbTable *table = target.type->commands().Find(Verb::Open);
    Command parsed;
    if (Code code = Parse(*table, words, parsed); code != kOk) return code;
    const std::string_view alias = parsed.Has(Key::Alias)     ? parsed.Text(Key::Alias)
                                   : target.has_element ? target.element
                                                        : target.type->name;
    if (alias.empty()) return kMissingDeviceName;
    if (SameWord(alias, "all")) return kCannotUseAll;
    // A device opened although its number could not be told would stay open
    // out of the caller's sight.
    auto refusal = [&]() -> Code {
        if (const Entry *existing = FindSettled(alias, lock))
            return existing->automatic ? kDeviceOpen : kDuplicateAlias;
        if (std::to_string(FreeId()).size() > room) return kParamOverflow;
        return kOk;
    };
    if (Code code = refusal(); code != kOk) return code;
    // The medium is read and its first picture decoded without the table's
    // lock; the table may have changed meanwhile, so it is asked again.
    const std::string kept_alias(alias);
    Opening(kept_alias);
    lock.unlock();
    std::unique_ptr<Device> device;
    const Code opened = target.type->open({target.element, target.has_element, parsed, kept_alias}, device);
    lock.lock();
    OpeningEnded(kept_alias);
    if (opened != kOk) return opened;
    if (Code code = refusal(); code != kOk) {
        lock.unlock();
        device.reset();
        return code;
    }
    const uint32_t id = FreeId();
    Add(kept_alias, false, std::make_shared<Opened>(std::move(device)));
    ReplyNumber(reply, id);
    if (const auto asked = Asked(call, parsed, id)) Post(*asked, kSuccessful);
    return kOk;
}

Code Interpreter::ForAll(Call &call, const VerbName &verb, std::span<const Token> words, Context &context,
                         std::string &reply) {
    std::unique_lock<std::mutex> &lock = call.lock;
    switch (verb.all) {
    case AllRule::NotCore: return kUnrecognizedCommand;
    case AllRule::Refuse: return kCannotUseAll;
    case AllRule::SysInfo: return SysInfo(Token{"all", 0, 0, false}, words, reply);
    case AllRule::CloseEach: {
        Command parsed;
        if (Code code = Parse(*core::Table(verb.verb), words, parsed); code != kOk) return code;
        std::vector<uint32_t> ids;
        for (const Entry &entry : entries_) ids.push_back(entry.id);
        const Closed closed = RemoveAll();
        lock.unlock();
        for (size_t i = 0; i < closed.size(); ++i) Closing(*closed[i], Asked(call, parsed, ids[i]));
        return kOk;
    }
    case AllRule::Broadcast: break;
    }
    // The devices may be of any type, so only what every type knows is read.
    Command parsed;
    if (Code code = Parse(*core::Table(verb.verb), words, parsed); code != kOk) return code;
    std::vector<std::shared_ptr<Opened>> told;
    for (const Entry &entry : entries_)
        if (!entry.automatic) told.push_back(entry.opened);
    lock.unlock();
    std::optional<Code> common;
    bool differ = false;
    for (const auto &opened : told) {
        std::string ignored;
        const Code code = Execute(opened, parsed, context, ignored, Asked(call, parsed, opened->id));
        if (code == kInvalidDeviceName) continue; // closed meanwhile: not one of all any more
        if (common && *common != code) differ = true;
        common = code;
    }
    // One answer for all: theirs when they agree.
    const Code code = differ ? kMultiple : common.value_or(kOk);
    if (code == kOk && context.hold_until_stopped) {
        for (const auto &opened : told) WaitWhilePlaying(*opened);
    }
    return code;
}

Code Interpreter::SysInfo(const Token &name, std::span<const Token> words, std::string &reply) {
    Command parsed;
    if (Code code = Parse(*core::Table(Verb::Sysinfo), words, parsed); code != kOk) return code;
    const bool all = IsAll(name);
    const DeviceType *type = all ? nullptr : TypeNamed(name.text);
    if (!all && !type) {
        const Entry *entry = Find(name.text);
        if (!entry) return kInvalidDeviceName;
        if (!parsed.Has(Key::InstallName)) return kMissingParameter;
        reply = entry->opened->device->TypeName();
        return kOk;
    }
    // The devices, or the types, that the question is about.
    std::vector<std::string_view> names;
    if (parsed.Has(Key::OpenOnly)) {
        for (const Entry &entry : entries_)
            if (all || entry.opened->device->TypeName() == type->name) names.push_back(entry.alias);
    } else if (all) {
        for (const DeviceType &t : kTypes) names.push_back(t.name);
    } else {
        names.push_back(type->name);
    }
    if (parsed.Has(Key::Quantity)) {
        ReplyNumber(reply, static_cast<int64_t>(names.size()));
    } else if (parsed.Has(Key::Name)) {
        const int64_t n = parsed.Number(Key::Name);
        if (n < 1 || n > static_cast<int64_t>(names.size())) return kOutOfRange;
        reply = names[static_cast<size_t>(n - 1)];
    } else if (parsed.Has(Key::InstallName)) {
        if (all) return kCannotUseAll;
        reply = type->name;
    } else {
        return kMissingParameter;
    }
    return kOk;
}

Code Interpreter::AutoOpen(const VerbName &verb, const Token &name, std::span<const Token> words, Context &context,
                           std::unique_lock<std::mutex> &lock,
                           std::string &reply) {
    const Target target = Resolve(name.text);
    if (target.error == kExtensionNotFound || target.error == kInvalidDeviceName || !target.type)
        return kInvalidDeviceName;
    const VerbTable *table = target.type->commands().Find(verb.verb);
    if (!table) return kUnrecognizedCommand;
    Command parsed;
    if (Code code = Parse(*table, words, parsed); code != kOk) return code;
    // Nobody could be told: the device is gone again when the command ends.
    if (parsed.Has(Key::Notify)) return kNotifyOnAutoOpen;
    Command no_flags;
    // An open with no words of its own always parses.
    (void)Parse(*target.type->commands().Find(Verb::Open), {}, no_flags);
    // Nobody else knows of the device until it joins the table, so it
    // opens and acts without the table's lock; whoever names it meanwhile
    // waits for it.
    const std::string alias(name.text);
    Opening(alias);
    lock.unlock();
    std::unique_ptr<Device> device;
    Code code = target.type->open({target.element, target.has_element, no_flags, alias}, device);
    if (code == kOk) code = device->Execute(parsed, context, reply);
    // A play goes on after the command; the device stays for it.
    std::shared_ptr<Opened> kept;
    if (code == kOk && verb.verb == Verb::Play) kept = std::make_shared<Opened>(std::move(device));
    lock.lock();
    OpeningEnded(alias);
    if (kept) Add(alias, true, kept);
    lock.unlock();
    device.reset(); // one not kept closes here, without the table's lock
    if (kept && context.hold_until_stopped) WaitWhilePlaying(*kept);
    return code;
}

void Interpreter::WaitWhilePlaying(Opened &opened) {
    while (true) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::lock_guard state(opened.state);
        if (opened.closed) return;
        Context context(timeline_);
        if (!opened.device->Playing(context)) return;
    }
}

} // namespace tvx::mci
