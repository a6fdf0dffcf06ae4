// ASCII case folding, for the names and keywords that every layer compares
// without regard to case: member and parameter names, registry keys, media
// control keywords and device names, argument words. Only A-Z and a-z fold;
// every other character, Latin-1 letters included, stands for itself, so a
// name with other characters matches only itself. Each function takes 8-bit
// and 16-bit text alike.
#ifndef TVX_BASE_ASCII_H
#define TVX_BASE_ASCII_H

#include <string>
#include <string_view>

namespace tvx::ascii {

template <class Char> constexpr Char Lower(Char c) {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <class Char> constexpr Char Upper(Char c) {
    return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

template <class Char> constexpr bool EqualFolded(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}
// Plain overloads, so that literals and strings convert without naming the
// character type.
constexpr bool EqualFolded(std::string_view a, std::string_view b) { return EqualFolded<char>(a, b); }
constexpr bool EqualFolded(std::u16string_view a, std::u16string_view b) { return EqualFolded<char16_t>(a, b); }

// `text` with every character passed through `fold` (Lower or Upper).
template <class Char> std::basic_string<Char> Mapped(std::basic_string_view<Char> text, Char (*fold)(Char)) {
    std::basic_string<Char> result(text);
    for (Char &c : result) c = fold(c);
    return result;
}
inline std::string LowerCase(std::string_view text) { return Mapped<char>(text, Lower<char>); }
inline std::u16string LowerCase(std::u16string_view text) { return Mapped<char16_t>(text, Lower<char16_t>); }
inline std::string UpperCase(std::string_view text) { return Mapped<char>(text, Upper<char>); }
inline std::u16string UpperCase(std::u16string_view text) { return Mapped<char16_t>(text, Upper<char16_t>); }

} // namespace tvx::ascii

#endif // TVX_BASE_ASCII_H
