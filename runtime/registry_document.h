// The registry file's text as a document: its keys and values to look up and
// change, and every line the reader does not understand kept where it stood.
//
// File format, one item per line ("\n" ends a line; a "\r" before it is
// dropped on reading):
//
//   # comment                 lines starting with '#' or ';' are comments;
//                             blank lines separate keys
//   [CLSID\\{...}]            a key; the text between the first '[' and the
//                             last ']' of the line
//   @=Tarvex10 Movie          the key's default value (name "")
//   ProgID=Tarvex10.Movie     a named value; the name ends at the first '='
//                             that is not escaped
//
// Keys, names and values are escaped with a backslash: "\\" is a backslash,
// "\n" a line feed, "\r" a carriage return, and a backslash before any other
// character stands for that character. Writing escapes '\\', line feed and
// carriage return everywhere, and in names also '=', '[', '#', ';' and '@',
// so that no name can be taken for a key line, a comment or the default
// value. Lines before the first key, lines without '=' and the lines after a
// key line without its ']' hold no values.
//
// Keys and names compare case-insensitively (ASCII only). A rewrite keeps
// every line it did not change as it was, in its place: comments, lines
// that hold no values, keys and values in the order they were first
// written. Blank lines are the writer's: one stands before each key.
#ifndef TVX_RUNTIME_REGISTRY_DOCUMENT_H
#define TVX_RUNTIME_REGISTRY_DOCUMENT_H

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tvx::runtime {

class RegistryDocument {
public:
    // Reads `text` in one pass; any text is a document.
    static RegistryDocument Parse(std::string_view text);

    // The value's data, or null when the key has no value of that name.
    const std::string *Find(std::string_view key, std::string_view name) const;
    void Set(std::string_view key, std::string_view name, std::string_view data);
    // Whether there was such a value.
    bool Remove(std::string_view key, std::string_view name);

    std::string Format() const;

private:
    struct Line {
        std::string text;      // as read; empty for a value set here, which is written anew
        bool is_value = false; // else a line that holds no value
        bool removed = false;
        std::string name, data;
    };
    // A key line and the lines under it; the first section holds the lines
    // before the first key, and a key line without its ']' starts a section
    // without a key.
    struct Section {
        std::vector<std::string> lead; // comments just above the key line
        std::string header;            // the key line; empty for the first section
        bool has_key = false;
        std::string key;
        std::vector<Line> lines;
        size_t values_end = 0; // new values go here, before the comments that trail the last one
    };
    struct Place {
        size_t section, line;
    };
    struct KeyIndex {
        size_t section; // where the key first stands; new values join it there
        std::unordered_map<std::string, Place> values;
    };

    Line &At(Place place) { return sections_[place.section].lines[place.line]; }
    const Line &At(Place place) const { return sections_[place.section].lines[place.line]; }

    std::vector<Section> sections_;
    std::unordered_map<std::string, KeyIndex> keys_; // by key in ASCII lower case; names likewise
};

} // namespace tvx::runtime

#endif
