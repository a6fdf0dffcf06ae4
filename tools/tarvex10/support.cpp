#include "support.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

namespace tvx::cli {

// ---- progress -------------------------------------------------------------

std::string HumanBytes(uint64_t bytes) {
    static const char *const units[] = {"kB", "MB", "GB", "TB"};
    if (bytes < 1000) return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (value >= 1000 && unit < 3) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string RenderProgress(uint64_t done, uint64_t expected, int bar_width, bool finished) {
    const int width = std::max(bar_width, 1);
    int percent = 100;
    int filled = width;
    if (!finished) {
        const double share = expected == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(expected);
        percent = std::min(99, static_cast<int>(share * 100));
        filled = std::min(width, static_cast<int>(share * width));
    }
    std::string line = "[" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(width - filled), '-') + "] ";
    char number[16];
    std::snprintf(number, sizeof number, "%3d%%", percent);
    line += number;
    line += "  " + HumanBytes(done);
    if (!finished) line += " of ~" + HumanBytes(expected);
    return line;
}

// ---- JSON -----------------------------------------------------------------

namespace {

// The length of the valid UTF-8 sequence at `text[i]`, 0 when there is none.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length;
    uint32_t lowest;
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) length = 2, lowest = 0x80;
    else if ((lead & 0xF0) == 0xE0) length = 3, lowest = 0x800;
    else if ((lead & 0xF8) == 0xF0) length = 4, lowest = 0x10000;
    else return 0;
    if (i + length > text.size()) return 0;
    uint32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    if (error != std::errc()) return "null";
    return std::string(text, end);
}

// ---- arguments --------------------------------------------------------------

namespace {

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Sign, digits, optional point and digits, optional exponent; at least one
// digit before or after the point.
bool IsDecimalNumber(std::string_view text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        if (!AllDigits(text.substr(i))) return false;
        return true;
    }
    return i == text.size();
}

} // namespace

std::optional<int32_t> ParseInt32(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
    if (!AllDigits(digits)) return std::nullopt;
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

ArgumentValue ParseArgument(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && digits[0] == '-') digits.remove_prefix(1);
    if (AllDigits(digits)) {
        // "007" read as a number would lose what was written.
        if (digits.size() > 1 && digits[0] == '0') return std::string(text);
        if (auto value = ParseInt32(text)) return *value;
    } else if (text.empty() || text[0] == '+' || !IsDecimalNumber(text)) {
        return std::string(text);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size() && std::isfinite(value)) return value;
    return std::string(text);
}

std::optional<double> ParseTime(std::string_view text) {
    double scale = 1;
    if (text.size() > 2 && text.substr(text.size() - 2) == "ms") {
        text.remove_suffix(2);
        scale = 0.001;
    }
    // Up to three fields, "h:m:s", of which only the last may have a fraction
    // and the ones after the first stay below 60.
    std::vector<std::string_view> fields;
    for (size_t colon; (colon = text.find(':')) != std::string_view::npos; text.remove_prefix(colon + 1))
        fields.push_back(text.substr(0, colon));
    fields.push_back(text);
    if (fields.size() > 3 || (scale != 1 && fields.size() > 1)) return std::nullopt;
    double seconds = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string_view field = fields[i];
        const bool last = i + 1 == fields.size();
        const size_t point = field.find('.');
        if (point != std::string_view::npos && !last) return std::nullopt;
        const std::string_view whole = field.substr(0, point);
        const std::string_view fraction = point == std::string_view::npos ? "" : field.substr(point + 1);
        if ((whole.empty() && fraction.empty()) || (!whole.empty() && !AllDigits(whole)) ||
            (point != std::string_view::npos && !AllDigits(fraction)))
            return std::nullopt;
        double value = 0;
        const std::string number = std::string(whole.empty() ? "0" : whole) + "." + std::string(fraction) + "0";
        std::from_chars(number.data(), number.data() + number.size(), value);
        if (i > 0 && value >= 60) return std::nullopt;
        seconds = seconds * 60 + value;
    }
    if (!std::isfinite(seconds)) return std::nullopt;
    return seconds * scale;
}

std::string FormatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

std::string WrapText(std::string_view text, size_t width) {
    width = std::max<size_t>(width, 20);
    std::string out, paragraph;
    const auto flush = [&] {
        size_t column = 0;
        for (size_t i = 0; i < paragraph.size();) {
            const size_t end = std::min(paragraph.find(' ', i), paragraph.size());
            const size_t length = end - i;
            if (column > 0 && column + 1 + length > width) {
                out += '\n';
                column = 0;
            } else if (column > 0) {
                out += ' ';
                ++column;
            }
            out.append(paragraph, i, length);
            column += length;
            i = end + 1;
        }
        if (!paragraph.empty()) out += '\n';
        paragraph.clear();
    };
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        const bool kept = line.empty() || line[0] == ' ' || line.rfind("usage:", 0) == 0 || line.rfind("example:", 0) == 0;
        if (kept) {
            flush();
            out.append(line);
            out += '\n';
        } else {
            if (!paragraph.empty()) paragraph += ' ';
            paragraph.append(line);
        }
    }
    flush();
    return out;
}

std::vector<CallStep> SplitCallSteps(const std::vector<std::string> &words, const MemberLookup &lookup) {
    std::vector<CallStep> steps;
    for (size_t i = 0; i < words.size();) {
        const std::string &word = words[i];
        const size_t equals = word.find('=');
        if (equals != std::string::npos && equals > 0) {
            const std::string name = word.substr(0, equals);
            const std::optional<MemberShape> shape = lookup(name);
            if (shape && shape->has_put) {
                steps.push_back({name, true, {word.substr(equals + 1)}});
                ++i;
                continue;
            }
            if (shape) throw std::invalid_argument("member '" + name + "' cannot be set");
        }
        const std::optional<MemberShape> shape = lookup(word);
        if (!shape) throw std::invalid_argument("no member named '" + word + "'");
        if (!shape->call_params)
            throw std::invalid_argument("member '" + word + "' can only be set: write " + word + "=VALUE");
        const size_t count = *shape->call_params;
        if (words.size() - i - 1 < count)
            throw std::invalid_argument("member '" + word + "' takes " + std::to_string(count) + " argument" +
                                        (count == 1 ? "" : "s") + ", " + std::to_string(words.size() - i - 1) +
                                        " given");
        CallStep step{word, false, {}};
        step.args.assign(words.begin() + static_cast<std::ptrdiff_t>(i + 1),
                         words.begin() + static_cast<std::ptrdiff_t>(i + 1 + count));
        steps.push_back(std::move(step));
        i += 1 + count;
    }
    return steps;
}

// ---- the cut's outcome ---------------------------------------------------------

std::optional<std::string> InputSizeProblem(uint64_t size) {
    constexpr uint64_t kLargest = std::numeric_limits<int32_t>::max();
    if (size == 0) return "it is empty";
    if (size <= kLargest) return std::nullopt;
    return "it holds " + std::to_string(size) + " bytes; the cutter reads files of at most " +
           std::to_string(kLargest) + " bytes";
}

bool IsCutterFailureMessage(std::string_view message) {
    // "Cutting finished" is shown after every cut, good or not; anything else
    // the cutter says is a problem.
    return message != "Cutting finished";
}

std::optional<uint64_t> FindGroupStart(std::istream &in, uint64_t from) {
    static constexpr std::string_view kGroupStart("\x00\x00\x01\xB8", 4);
    if (!in.seekg(static_cast<std::streamoff>(from))) return std::nullopt;
    // Each block keeps the last three bytes of the one before, so that a start
    // code split across two reads is still found.
    std::string block;
    uint64_t block_start = from;
    std::vector<char> buffer(1 << 16);
    while (true) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = in.gcount();
        if (got <= 0) return std::nullopt;
        block.append(buffer.data(), static_cast<size_t>(got));
        const size_t at = block.find(kGroupStart);
        if (at != std::string::npos) return block_start + at;
        const size_t keep = std::min<size_t>(block.size(), kGroupStart.size() - 1);
        block_start += block.size() - keep;
        block.erase(0, block.size() - keep);
    }
}

CutVerdict JudgeCut(const CutFacts &facts) {
    CutVerdict verdict;
    if (facts.call_failed) {
        verdict.reason = "the cut failed: " + facts.call_error;
        return verdict;
    }
    for (const std::string &message : facts.messages) {
        if (IsCutterFailureMessage(message)) {
            verdict.reason = "the cutter says: " + message;
            return verdict;
        }
    }
    if (facts.head_size < 0) {
        verdict.reason = "no MPEG-1 sequence header and group of pictures found in the input";
        return verdict;
    }
    if (!facts.output_exists) {
        verdict.reason = "no output file was written";
        return verdict;
    }
    if (!facts.cut_part) {
        verdict.reason = "no group of pictures in the range: the output holds only the stream's head";
        return verdict;
    }
    verdict.ok = true;
    return verdict;
}

// ---- media control replies ------------------------------------------------------

std::optional<PictureSize> ParseWhereReply(std::string_view reply) {
    std::vector<int32_t> numbers;
    size_t i = 0;
    while (i < reply.size()) {
        while (i < reply.size() && reply[i] == ' ') ++i;
        if (i == reply.size()) break;
        size_t end = reply.find(' ', i);
        if (end == std::string_view::npos) end = reply.size();
        const std::optional<int32_t> value = ParseInt32(reply.substr(i, end - i));
        if (!value) return std::nullopt;
        numbers.push_back(*value);
        i = end;
    }
    if (numbers.size() != 4 || numbers[2] < 0 || numbers[3] < 0) return std::nullopt;
    return PictureSize{numbers[2], numbers[3]};
}

std::optional<std::string> QuoteForMci(std::string_view text) {
    if (text.find('"') != std::string_view::npos) return std::nullopt;
    const bool blank = text.empty() || text.find_first_of(" \t\r\n") != std::string_view::npos;
    return blank ? "\"" + std::string(text) + "\"" : std::string(text);
}

// ---- finding the component --------------------------------------------------------

std::vector<std::string> ComponentCandidates(const std::string &program_dir, const std::string &libdir_from_bindir,
                                             const std::string &install_libdir) {
    static const std::string kFile = "libtarvex10.so";
    std::vector<std::string> candidates;
    const auto add = [&](const std::string &path) {
        if (std::find(candidates.begin(), candidates.end(), path) == candidates.end()) candidates.push_back(path);
    };
    if (!program_dir.empty()) {
        add(program_dir + "/../lib/" + kFile);
        if (!libdir_from_bindir.empty()) add(program_dir + "/" + libdir_from_bindir + "/" + kFile);
    }
    if (!install_libdir.empty()) add(install_libdir + "/" + kFile);
    return candidates;
}

} // namespace tvx::cli
