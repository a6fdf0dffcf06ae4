#include "registry_document.h"

#include "ascii/ascii.h"

namespace tvx::runtime {
namespace {

// Keys and names compare without regard to ASCII case.
std::string Folded(std::string_view text) { return ascii::LowerCase(text); }

void AppendEscaped(std::string &out, std::string_view text, bool is_name) {
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '=':
        case '[':
        case '#':
        case ';':
        case '@':
            if (is_name) out += '\\';
            out += c;
            break;
        default: out += c;
        }
    }
}

std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            char next = text[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += c;
        }
    }
    return out;
}

// Position of the first '=' that no backslash escapes, or npos.
size_t FindSeparator(std::string_view line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '=')
            return i;
    }
    return std::string_view::npos;
}

} // namespace

RegistryDocument RegistryDocument::Parse(std::string_view text) {
    RegistryDocument document;
    auto &sections = document.sections_;
    sections.emplace_back();
    // Lines that hold no value wait here: when a key line follows they
    // stand above it, when a value follows they stay in the section.
    std::vector<std::string> waiting;
    auto settle = [&waiting](Section &section) {
        for (std::string &line : waiting) section.lines.push_back(Line{std::move(line), false, false, {}, {}});
        waiting.clear();
    };
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        Section &current = sections.back();
        if (line[0] == '[') {
            Section next;
            if (current.has_key)
                next.lead = std::move(waiting);
            else
                settle(current);
            waiting.clear();
            next.header = line;
            const size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                next.has_key = true;
                next.key = Unescape(line.substr(1, close - 1));
                document.keys_.try_emplace(Folded(next.key), KeyIndex{sections.size(), {}});
            }
            sections.push_back(std::move(next));
            continue;
        }
        const size_t separator = line[0] == '#' || line[0] == ';' ? std::string_view::npos : FindSeparator(line);
        if (!current.has_key || separator == std::string_view::npos) {
            waiting.emplace_back(line);
            continue;
        }
        settle(current);
        const std::string_view raw_name = line.substr(0, separator);
        Line value{std::string(line), true, false, raw_name == "@" ? std::string() : Unescape(raw_name),
                   Unescape(line.substr(separator + 1))};
        const Place place{sections.size() - 1, current.lines.size()};
        auto &values = document.keys_.at(Folded(current.key)).values;
        auto [slot, added] = values.try_emplace(Folded(value.name), place);
        if (!added) {
            document.At(slot->second).removed = true; // the later value of the same name counts
            slot->second = place;
        }
        current.lines.push_back(std::move(value));
        current.values_end = current.lines.size();
    }
    settle(sections.back());
    return document;
}

const std::string *RegistryDocument::Find(std::string_view key, std::string_view name) const {
    const auto found_key = keys_.find(Folded(key));
    if (found_key == keys_.end()) return nullptr;
    const auto found = found_key->second.values.find(Folded(name));
    return found == found_key->second.values.end() ? nullptr : &At(found->second).data;
}

void RegistryDocument::Set(std::string_view key, std::string_view name, std::string_view data) {
    auto [index, new_key] = keys_.try_emplace(Folded(key), KeyIndex{sections_.size(), {}});
    if (new_key) {
        Section section;
        section.header = "[";
        AppendEscaped(section.header, key, false);
        section.header += ']';
        section.has_key = true;
        section.key = key;
        sections_.push_back(std::move(section));
    }
    auto &values = index->second.values;
    if (auto found = values.find(Folded(name)); found != values.end()) {
        Line &line = At(found->second);
        line.data = data;
        line.text.clear();
        return;
    }
    Section &section = sections_[index->second.section];
    const Place place{index->second.section, section.values_end};
    section.lines.insert(section.lines.begin() + static_cast<std::ptrdiff_t>(section.values_end),
                         Line{std::string(), true, false, std::string(name), std::string(data)});
    ++section.values_end;
    values.emplace(Folded(name), place);
}

bool RegistryDocument::Remove(std::string_view key, std::string_view name) {
    const auto found_key = keys_.find(Folded(key));
    if (found_key == keys_.end()) return false;
    auto &values = found_key->second.values;
    const auto found = values.find(Folded(name));
    if (found == values.end()) return false;
    At(found->second).removed = true;
    values.erase(found);
    return true;
}

std::string RegistryDocument::Format() const {
    std::string out;
    for (const Section &section : sections_) {
        bool holds_values = false, holds_other = false;
        for (const Line &line : section.lines) {
            holds_values |= line.is_value && !line.removed;
            holds_other |= !line.is_value;
        }
        // A key whose values are all gone goes with its key line.
        const bool header = section.has_key ? holds_values || holds_other : !section.header.empty();
        if (!header && !holds_other && section.lead.empty()) continue;
        if (!out.empty()) out += '\n';
        for (const std::string &line : section.lead) out.append(line) += '\n';
        if (header) out.append(section.header) += '\n';
        for (const Line &line : section.lines) {
            if (line.removed) continue;
            if (!line.text.empty()) {
                out.append(line.text) += '\n';
                continue;
            }
            if (line.name.empty())
                out += '@';
            else
                AppendEscaped(out, line.name, true);
            out += '=';
            AppendEscaped(out, line.data, false);
            out += '\n';
        }
    }
    return out;
}

} // namespace tvx::runtime
