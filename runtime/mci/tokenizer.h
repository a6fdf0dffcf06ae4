// Splitting a command text into words, and reading the integers that stand
// in it.
//
// Words are separated by blanks (spaces, tabs, line ends). A word that
// starts with a double quote runs to the next double quote and may hold
// blanks; the quotes are not part of it, and a quoted word must be followed
// by a blank or the end. Words keep their case; every comparison with a
// keyword ignores it (ASCII letters only, as command words are ASCII).
#ifndef TVX_RUNTIME_MCI_TOKENIZER_H
#define TVX_RUNTIME_MCI_TOKENIZER_H

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "errors.h"

namespace tvx::mci {

struct Token {
    std::string_view text; // the word, without quotes
    uint32_t begin;        // where the word starts in the command, quote included
    uint32_t end;          // one past its last character, quote included
    bool quoted;
};

// Fills `tokens` (cleared first). kOk, kNoClosingQuote or kExtraCharacters.
[[nodiscard]] Code Tokenize(std::string_view command, std::vector<Token> &tokens);

// `keyword` is lower case; `word` may be in any case.
bool SameWord(std::string_view word, std::string_view keyword);

// An integer as commands write it: decimal digits with an optional leading
// minus, or up to four colon-separated fields of 0..255 packed low byte
// first ("220:5:0" is 1500; an empty field counts as 0, but some digit must
// stand somewhere). Nothing for anything else, so the caller can answer
// kBadInteger. Values must fit 32 bits (signed when negative).
std::optional<int64_t> ParseInteger(std::string_view text);

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_TOKENIZER_H
