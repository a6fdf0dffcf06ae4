#include "tokenizer.h"

#include "ascii/ascii.h"

namespace tvx::mci {
namespace {

constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

Code Tokenize(std::string_view command, std::vector<Token> &tokens) {
    tokens.clear();
    const size_t n = command.size();
    size_t i = 0;
    while (true) {
        while (i < n && IsBlank(command[i])) ++i;
        if (i == n) return kOk;
        const size_t begin = i;
        if (command[i] == '"') {
            const size_t close = command.find('"', i + 1);
            if (close == std::string_view::npos) return kNoClosingQuote;
            // Text glued to the closing quote would otherwise be lost or
            // silently become a word of its own.
            if (close + 1 < n && !IsBlank(command[close + 1])) return kExtraCharacters;
            tokens.push_back({command.substr(i + 1, close - i - 1), static_cast<uint32_t>(begin),
                              static_cast<uint32_t>(close + 1), true});
            i = close + 1;
        } else {
            while (i < n && !IsBlank(command[i])) ++i;
            tokens.push_back({command.substr(begin, i - begin), static_cast<uint32_t>(begin),
                              static_cast<uint32_t>(i), false});
        }
    }
}

bool SameWord(std::string_view word, std::string_view keyword) { return ascii::EqualFolded(word, keyword); }

std::optional<int64_t> ParseInteger(std::string_view text) {
    if (text.empty()) return std::nullopt;
    if (text.find(':') != std::string_view::npos) {
        int64_t value = 0;
        int field = 0;
        bool any_digit = false;
        size_t i = 0;
        while (true) {
            if (field == 4) return std::nullopt;
            int64_t part = 0;
            size_t digits = 0;
            for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
                part = part * 10 + (text[i] - '0');
                if (part > 255) return std::nullopt;
            }
            any_digit = any_digit || digits > 0;
            value |= part << (8 * field);
            ++field;
            if (i == text.size()) break;
            if (text[i] != ':') return std::nullopt;
            ++i;
        }
        if (!any_digit) return std::nullopt;
        return value;
    }
    size_t i = 0;
    const bool negative = text[0] == '-';
    if (negative) ++i;
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > 0xFFFFFFFFll) return std::nullopt;
    }
    if (negative) {
        if (value > 0x80000000ll) return std::nullopt;
        return -value;
    }
    return value;
}

} // namespace tvx::mci
