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

uint32_t Interpreter::FreeId() const { return returned_ids_.empty() ? next_id_ : *returned_ids_.begin(); }

void Interpreter::Add(std::string_view alias, bool automatic, std::unique_ptr<Device> device) {
    const uint32_t id = FreeId();
    if (returned_ids_.erase(id) == 0) ++next_id_;
    entries_.push_back({std::string(alias), id, automatic, std::move(device)});
    by_alias_.emplace(LowerCase(alias), std::prev(entries_.end()));
}

void Interpreter::Remove(const Entry &entry) {
    const auto found = by_alias_.find(LowerCase(entry.alias));
    returned_ids_.insert(entry.id);
    const auto at = found->second;
    by_alias_.erase(found);
    entries_.erase(at);
}

void Interpreter::RemoveAll() {
    entries_.clear();
    by_alias_.clear();
    returned_ids_.clear();
    next_id_ = 1;
}

Code Interpreter::Send(std::string_view command, std::string &reply, size_t room) {
    reply.clear();
    thread_local std::vector<Token> tokens;
    if (Code code = Tokenize(command, tokens); code != kOk) return code;
    if (tokens.empty()) return kMissingCommandString;
    std::unique_lock lock(mutex_);
    const Code code = Run(command, tokens, room, lock, reply);
    if (code != kOk) reply.clear();
    return code;
}

Code Interpreter::Run(std::string_view command, std::span<const Token> tokens, size_t room,
                      std::unique_lock<std::mutex> &lock, std::string &reply) {
    const VerbName *verb = FindVerb(tokens[0].text);
    if (!verb) return kUnrecognizedCommand;
    if (verb->verb == Verb::Open) return Open(command, tokens, room, reply);
    if (tokens.size() < 2) return kMissingDeviceName;
    const Token &name = tokens[1];
    const auto words = tokens.subspan(2);
    Context context(timeline_);
    if (IsAll(name)) return ForAll(*verb, words, context, lock, reply);
    if (verb->verb == Verb::Sysinfo) return SysInfo(name, words, reply);

    Entry *entry = Find(name.text);
    if (!entry) {
        // Device verbs are known only to devices, and there is none to ask.
        if (!verb->core) return kUnrecognizedCommand;
        if (verb->verb == Verb::Close) return kInvalidDeviceName;
        return AutoOpen(*verb, name, words, context, lock, reply);
    }
    const VerbTable *table = entry->device->Commands().Find(verb->verb);
    if (!table) return kUnrecognizedCommand;
    Command parsed;
    if (Code code = Parse(*table, words, parsed); code != kOk) return code;
    if (verb->verb == Verb::Close) {
        Remove(*entry);
        return kOk;
    }
    Device *device = entry->device.get();
    const Code code = device->Execute(parsed, context, reply);
    if (code == kOk && context.hold_until_stopped) WaitWhilePlaying(device, lock);
    return code;
}

Code Interpreter::Open(std::string_view command, std::span<const Token> tokens, size_t room, std::string &reply) {
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
    if (const Entry *existing = Find(alias)) return existing->automatic ? kDeviceOpen : kDuplicateAlias;

    const uint32_t id = FreeId();
    // A device opened although its number could not be told would stay open
    // out of the caller's sight.
    if (std::to_string(id).size() > room) return kParamOverflow;
    std::unique_ptr<Device> device;
    if (Code code = target.type->open({target.element, target.has_element, parsed, alias}, device); code != kOk)
        return code;
    Add(alias, false, std::move(device));
    ReplyNumber(reply, id);
    return kOk;
}

Code Interpreter::ForAll(const VerbName &verb, std::span<const Token> words, Context &context,
                         std::unique_lock<std::mutex> &lock, std::string &reply) {
    switch (verb.all) {
    case AllRule::NotCore: return kUnrecognizedCommand;
    case AllRule::Refuse: return kCannotUseAll;
    case AllRule::SysInfo: return SysInfo(Token{"all", 0, 0, false}, words, reply);
    case AllRule::CloseEach: {
        Command parsed;
        if (Code code = Parse(*core::Table(verb.verb), words, parsed); code != kOk) return code;
        RemoveAll();
        return kOk;
    }
    case AllRule::Broadcast: break;
    }
    // The devices may be of any type, so only what every type knows is read.
    Command parsed;
    if (Code code = Parse(*core::Table(verb.verb), words, parsed); code != kOk) return code;
    std::optional<Code> common;
    bool differ = false;
    std::vector<const Device *> told;
    for (Entry &entry : entries_) {
        if (entry.automatic) continue;
        std::string ignored;
        const Code code = entry.device->Execute(parsed, context, ignored);
        if (common && *common != code) differ = true;
        common = code;
        told.push_back(entry.device.get());
    }
    // One answer for all: theirs when they agree.
    const Code code = differ ? kMultiple : common.value_or(kOk);
    if (code == kOk && context.hold_until_stopped) {
        for (const Device *device : told) WaitWhilePlaying(device, lock);
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
        reply = entry->device->TypeName();
        return kOk;
    }
    // The devices, or the types, that the question is about.
    std::vector<std::string_view> names;
    if (parsed.Has(Key::OpenOnly)) {
        for (const Entry &entry : entries_)
            if (all || entry.device->TypeName() == type->name) names.push_back(entry.alias);
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
    std::unique_ptr<Device> device;
    if (Code code = target.type->open({target.element, target.has_element, no_flags, name.text}, device); code != kOk)
        return code;
    const Code code = device->Execute(parsed, context, reply);
    // A play goes on after the command; the device stays for it.
    if (code == kOk && verb.verb == Verb::Play) {
        const Device *playing = device.get();
        Add(name.text, true, std::move(device));
        if (context.hold_until_stopped) WaitWhilePlaying(playing, lock);
    }
    return code;
}

void Interpreter::WaitWhilePlaying(const Device *device, std::unique_lock<std::mutex> &lock) {
    while (true) {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        lock.lock();
        const auto it = std::find_if(entries_.begin(), entries_.end(),
                                     [device](const Entry &e) { return e.device.get() == device; });
        if (it == entries_.end()) return; // closed meanwhile
        Context context(timeline_);
        if (!it->device->Playing(context)) return;
    }
}

} // namespace tvx::mci
