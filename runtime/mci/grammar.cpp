#include "grammar.h"

namespace tvx::mci {
namespace {

constexpr VerbName kVerbs[] = {
    {"open", Verb::Open, true, AllRule::Refuse},
    {"close", Verb::Close, true, AllRule::CloseEach},
    {"play", Verb::Play, true, AllRule::Broadcast},
    {"stop", Verb::Stop, true, AllRule::Broadcast},
    {"pause", Verb::Pause, true, AllRule::Broadcast},
    {"resume", Verb::Resume, true, AllRule::Broadcast},
    {"seek", Verb::Seek, true, AllRule::Broadcast},
    {"set", Verb::Set, true, AllRule::Broadcast},
    {"status", Verb::Status, true, AllRule::Refuse},
    {"info", Verb::Info, true, AllRule::Refuse},
    {"capability", Verb::Capability, true, AllRule::Refuse},
    {"sysinfo", Verb::Sysinfo, true, AllRule::SysInfo},
    {"record", Verb::Record, true, AllRule::Broadcast},
    {"save", Verb::Save, true, AllRule::Broadcast},
    {"step", Verb::Step, false, AllRule::NotCore},
    {"setaudio", Verb::Setaudio, false, AllRule::NotCore},
    {"window", Verb::Window, false, AllRule::NotCore},
    {"put", Verb::Put, false, AllRule::NotCore},
    {"where", Verb::Where, false, AllRule::NotCore},
    {"configure", Verb::Configure, false, AllRule::NotCore},
};

// How many words from `at` on spell `phrase` (lower case, single blanks);
// 0 when they do not.
size_t Match(std::string_view phrase, std::span<const Token> words, size_t at) {
    size_t used = 0;
    while (true) {
        const size_t blank = phrase.find(' ');
        if (at + used >= words.size() || !SameWord(words[at + used].text, phrase.substr(0, blank))) return 0;
        ++used;
        if (blank == std::string_view::npos) return used;
        phrase.remove_prefix(blank + 1);
    }
}

// The longest keyword of the table that starts at `at` ("time format" before
// a plain "time", "to start" before "to").
const Keyword *LongestKeyword(const VerbTable &table, std::span<const Token> words, size_t at, size_t &used) {
    const Keyword *best = nullptr;
    used = 0;
    for (auto list : {table.core, table.extension}) {
        for (const Keyword &keyword : list) {
            const size_t n = Match(keyword.words, words, at);
            if (n > used) {
                used = n;
                best = &keyword;
            }
        }
    }
    return best;
}

const Choice *LongestChoice(std::span<const Choice> choices, std::span<const Token> words, size_t at, size_t &used) {
    const Choice *best = nullptr;
    used = 0;
    for (const Choice &choice : choices) {
        const size_t n = Match(choice.words, words, at);
        if (n > used) {
            used = n;
            best = &choice;
        }
    }
    return best;
}

const Keyword *ItemByNumber(const VerbTable &table, std::string_view word) {
    const auto number = ParseInteger(word);
    if (!number || *number <= 0) return nullptr;
    for (auto list : {table.core, table.extension})
        for (const Keyword &keyword : list)
            if (keyword.arg == ArgKind::Item && keyword.item_number == *number) return &keyword;
    return nullptr;
}

} // namespace

const VerbName *FindVerb(std::string_view word) {
    for (const VerbName &verb : kVerbs)
        if (SameWord(word, verb.name)) return &verb;
    return nullptr;
}

const Command::Value &Command::Find(Key key) const {
    static const Value kAbsent{Key::None, false, 0, 0, {0, 0, 0, 0}, {}};
    for (size_t i = 0; i < count_; ++i)
        if (values_[i].key == key) return values_[i];
    return kAbsent;
}

Command::Value &Command::Add(Key key) {
    Value &value = values_[count_++];
    value = Value{key, false, 0, 0, {0, 0, 0, 0}, {}};
    return value;
}

Code Parse(const VerbTable &table, std::span<const Token> words, Command &out) {
    out.verb = table.verb;
    out.item = Key::None;
    out.present_.reset();
    out.count_ = 0;
    uint32_t groups = 0;
    size_t i = 0;
    while (i < words.size()) {
        size_t used = 0;
        const Keyword *keyword = LongestKeyword(table, words, i, used);
        if (!keyword && table.unknown_word == kBadConstant) {
            keyword = ItemByNumber(table, words[i].text);
            used = 1;
        }
        if (!keyword) return table.unknown_word;
        const auto index = static_cast<size_t>(keyword->key);
        if (out.present_[index]) return kDuplicateFlags;
        if (keyword->group != 0) {
            const uint32_t bit = 1u << keyword->group;
            if (groups & bit) return kFlagsNotCompatible;
            groups |= bit;
        }
        out.present_[index] = true;
        i += used;

        switch (keyword->arg) {
        case ArgKind::Flag:
            break;
        case ArgKind::Item:
            // A query answers one question at a time.
            if (out.item != Key::None) return kFlagsNotCompatible;
            out.item = keyword->key;
            break;
        case ArgKind::Integer: {
            if (i == words.size()) return kBadInteger;
            const auto number = ParseInteger(words[i].text);
            if (!number) return kBadInteger;
            if (out.count_ == Command::kMaxValues) return kUnrecognizedKeyword;
            out.Add(keyword->key).number = *number;
            ++i;
            break;
        }
        case ArgKind::Text:
            if (i == words.size()) return kMissingStringArgument;
            if (out.count_ == Command::kMaxValues) return kUnrecognizedKeyword;
            out.Add(keyword->key).text = words[i].text;
            ++i;
            break;
        case ArgKind::Rect: {
            Rect rect{};
            int32_t *fields[] = {&rect.left, &rect.top, &rect.width, &rect.height};
            for (int32_t *field : fields) {
                if (i == words.size()) return kBadInteger;
                const auto number = ParseInteger(words[i].text);
                if (!number || *number < INT32_MIN || *number > INT32_MAX) return kBadInteger;
                *field = static_cast<int32_t>(*number);
                ++i;
            }
            if (out.count_ == Command::kMaxValues) return kUnrecognizedKeyword;
            out.Add(keyword->key).rect = rect;
            break;
        }
        case ArgKind::Choice:
        case ArgKind::OptionalChoice:
        case ArgKind::IntegerOrChoice: {
            if (out.count_ == Command::kMaxValues) return kUnrecognizedKeyword;
            Command::Value &value = out.Add(keyword->key);
            size_t choice_words = 0;
            if (const Choice *choice = LongestChoice(keyword->choices, words, i, choice_words)) {
                value.chosen = true;
                value.choice = choice->value;
                i += choice_words;
            } else if (keyword->arg == ArgKind::OptionalChoice) {
                // Nothing to take: the next word is the next keyword.
            } else if (keyword->arg == ArgKind::IntegerOrChoice && i < words.size() &&
                       ParseInteger(words[i].text)) {
                value.number = *ParseInteger(words[i].text);
                ++i;
            } else {
                return keyword->bad_choice;
            }
            break;
        }
        }
    }
    return kOk;
}

} // namespace tvx::mci
