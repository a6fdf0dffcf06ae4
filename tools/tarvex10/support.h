// The command's pure helpers: text formats, argument reading and the rules
// that judge a cut. Nothing here touches the component, so the tests hold
// each rule on its own.
#ifndef TVX_TOOLS_TARVEX10_SUPPORT_H
#define TVX_TOOLS_TARVEX10_SUPPORT_H

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tvx::cli {

// ---- progress -------------------------------------------------------------

// One line of progress: "[#####-----]  50%  1.2 MB of 2.4 MB". `done` may run
// past `expected` (the expected size is an estimate): the bar stays full and
// the percentage stops at 99 until the caller says the work is over.
std::string RenderProgress(uint64_t done, uint64_t expected, int bar_width, bool finished);
// "512 B", "12.3 kB", "4.5 MB", "1.2 GB" (powers of 1000).
std::string HumanBytes(uint64_t bytes);

// ---- JSON -----------------------------------------------------------------

// A JSON string literal, quotes included; text that is not valid UTF-8 has
// its stray bytes replaced by U+FFFD so that the document always parses.
std::string JsonString(std::string_view text);
// The shortest text that reads back as `value`; "null" for NaN and infinities,
// which JSON cannot write.
std::string JsonNumber(double value);

// ---- arguments --------------------------------------------------------------

// A command-line argument read as an obvious number where it is one: an
// integer without leading zeros, in the 32-bit range, becomes int32; other
// decimal numbers (a point or an exponent, or integers beyond 32 bits) become
// double; everything else stays text.
using ArgumentValue = std::variant<int32_t, double, std::string>;
ArgumentValue ParseArgument(std::string_view text);
// A strict decimal int32 (sign allowed), for the command's own numbers.
std::optional<int32_t> ParseInt32(std::string_view text);

// A time as users write it: seconds ("12.5"), minutes and seconds
// ("1:02.250"), hours, minutes and seconds ("01:02:03.5"), or milliseconds
// ("2500ms"); nullopt for anything else, negative times included.
std::optional<double> ParseTime(std::string_view text);
// Seconds with two decimals: "10.08".
std::string FormatSeconds(double seconds);
// Help text rewrapped to `width` columns: each paragraph of plain lines is
// refilled; lines that begin with a blank, "usage:" or "example:" stay as
// they are.
std::string WrapText(std::string_view text, size_t width);

// One step of `call`: a member and its arguments, or a property put.
struct CallStep {
    std::string member;
    bool put = false;
    std::vector<std::string> args; // for a put: exactly the value
};

// What `call` needs to know about a member name to split the command line:
// how many arguments a plain call takes, whether the member has a put, or
// nullopt when no member has that name.
struct MemberShape {
    std::optional<size_t> call_params; // absent: the member has only a put
    bool has_put = false;
};
using MemberLookup = std::function<std::optional<MemberShape>(std::string_view name)>;

// Splits `words` into steps: a word NAME=VALUE whose NAME has a put is a put;
// any other word names a member, which takes exactly as many following words
// as it has parameters. Throws std::invalid_argument with a one-line reason.
std::vector<CallStep> SplitCallSteps(const std::vector<std::string> &words, const MemberLookup &lookup);

// ---- the cut's outcome ---------------------------------------------------------

// Why the cutter cannot take an input of `size` bytes, if it cannot: an
// empty file holds nothing to cut, and its offsets are 32-bit, so a larger
// input would only be reported missing.
std::optional<std::string> InputSizeProblem(uint64_t size);
// The cutter's own texts that mean the cut went wrong.
bool IsCutterFailureMessage(std::string_view message);
// Where the first cut part starts in an output, if one was written: the first
// group-of-pictures start code (00 00 01 B8) at or after byte `from`, read
// from `in` (positioned at its start) in blocks.
std::optional<uint64_t> FindGroupStart(std::istream &in, uint64_t from);

struct CutFacts {
    bool call_failed = false;          // CutVideo returned a failure status
    std::string call_error;            // its description, when it failed
    std::vector<std::string> messages; // the cutter's messages in order
    int32_t head_size = -1;            // MinimumCut after the cut
    bool output_exists = false;
    std::optional<uint64_t> cut_part;  // FindGroupStart(output, head_size)
};
struct CutVerdict {
    bool ok = false;
    std::string reason; // one line when not ok
};
CutVerdict JudgeCut(const CutFacts &facts);

// ---- media control replies ------------------------------------------------------

struct PictureSize {
    int32_t width = 0;
    int32_t height = 0;
};
// The size out of a "where ... source" reply, "LEFT TOP WIDTH HEIGHT".
std::optional<PictureSize> ParseWhereReply(std::string_view reply);
// The text of a command string argument: quoted when it holds blanks;
// nullopt when it cannot be written (it holds a double quote).
std::optional<std::string> QuoteForMci(std::string_view text);

// ---- finding the component --------------------------------------------------------

// Where to look for libtarvex10.so, in order: next to the program's folder
// (../lib), the installed library folder relative to the program, then the
// installed library folder itself. Repeats are dropped.
std::vector<std::string> ComponentCandidates(const std::string &program_dir, const std::string &libdir_from_bindir,
                                             const std::string &install_libdir);

} // namespace tvx::cli

#endif // TVX_TOOLS_TARVEX10_SUPPORT_H
