// tarvex10 call PROGID [MEMBER [ARG ...]] ... and tarvex10 members PROGID:
// any class of the component, by name.
#include <cstdio>
#include <stdexcept>

#include "ascii/ascii.h"
#include "commands.h"
#include "host.h"
#include "late.h"
#include "support.h"

namespace tvx::cli {

const char *const kCallHelp =
    "usage: tarvex10 call [--component PATH] PROGID [STEP ...]\n"
    "       STEP is MEMBER [ARG ...] or MEMBER=VALUE\n"
    "\n"
    "Creates an object of the class PROGID and calls its members by name through\n"
    "late binding, in the order given. A member takes exactly as many ARGs as its\n"
    "type information lists parameters (see tarvex10 members PROGID); MEMBER=VALUE\n"
    "sets a property. For each step it prints the status, the result and the\n"
    "values of by-ref parameters after the call (a by-ref ARG is the value the\n"
    "parameter starts with). The component's messages appear on standard error.\n"
    "\n"
    "An ARG for a string parameter is passed as written. Any other ARG that is an\n"
    "obvious number goes as a number (a whole number without leading zeros as\n"
    "int32, one with a point or an exponent as double), anything else as text; the\n"
    "dispatch layer converts it to the parameter's type and reports the arguments\n"
    "it cannot convert.\n"
    "\n"
    "Exit code 0 when every step succeeds, 1 when one fails (the steps after it\n"
    "still run), 2 for a wrong command line (an unknown member or a wrong count of\n"
    "arguments), found before anything is called.\n"
    "\n"
    "example: tarvex10 call Tarvex10.clsKwVidoCutVideoA init tests/data/system_ffmpeg.mpg \\\n"
    "             FileType VidSeqStart startT=1000 FindNext 0 224\n";

const char *const kMembersHelp =
    "usage: tarvex10 members [--component PATH] PROGID\n"
    "\n"
    "Lists the interface of the class PROGID from its type information: for each\n"
    "member its dispatch identifier, kind (method, get, put), name, parameters with\n"
    "their types (by ref where the member writes back) and result type.\n"
    "\n"
    "example: tarvex10 members Tarvex10.clsKwVidoMoviesA\n";

namespace {

// Only the words before the identifier are the tool's own options.
Args LeadingOptions(const Args &args) {
    Args own;
    for (const std::string &arg : args) {
        if (arg.rfind("-", 0) != 0) break;
        own.push_back(arg);
    }
    return own;
}

// An argument word as a Variant for a parameter of type `vt` (see the help).
Variant MakeArgument(const std::string &text, VARTYPE vt) {
    if (vt == VT_BSTR) return Variant::Str(Utf16(text));
    if (vt == VT_BOOL && (ascii::EqualFolded(text, "true") || ascii::EqualFolded(text, "false")))
        return Variant::Bool(ascii::EqualFolded(text, "true"));
    const ArgumentValue value = ParseArgument(text);
    if (const int32_t *number = std::get_if<int32_t>(&value)) return Variant::I4(*number);
    if (const double *number = std::get_if<double>(&value)) return Variant::R8(*number);
    return Variant::Str(Utf16(text));
}

std::string Signature(const MemberDesc &member) {
    std::string params;
    for (const ParamDesc &param : member.params) {
        if (!params.empty()) params += ", ";
        if (!param.name.empty()) params += param.name + ": ";
        params += TypeWord(param.vt) + (param.by_ref ? " by ref" : "");
    }
    return member.name + "(" + params + ") -> " + TypeWord(member.result);
}

// Runs one step and prints its outcome; false when it failed.
bool RunStep(IDispatch *object, const InterfaceDesc &desc, const CallStep &step) {
    const std::u16string name = Utf16(step.member);
    if (step.put) {
        const MemberDesc *member = desc.FindPut(step.member);
        const VARTYPE vt = member->params.empty() ? VARTYPE{VT_VARIANT} : member->params.back().vt;
        Variant value = MakeArgument(step.args[0], vt);
        const WORD flags = member->kind == INVOKE_PROPERTYPUTREF ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
        const CallOutcome outcome = CallByName(object, name, flags, {&value}, nullptr);
        std::printf("%s=%s: status %s\n", member->name.c_str(), step.args[0].c_str(),
                    outcome.Text().c_str());
        return SUCCEEDED(outcome.status);
    }

    const MemberDesc *member = desc.FindCall(step.member);
    const size_t count = member->params.size();
    // By-ref parameters get a Variant of their own type behind a
    // VT_BYREF|VT_VARIANT, so what the member writes back keeps its type.
    std::vector<Variant> values(count);
    std::vector<VARIANT> refs(count);
    std::vector<VARIANT *> args(count);
    for (size_t i = 0; i < count; ++i) {
        const ParamDesc &param = member->params[i];
        values[i] = MakeArgument(step.args[i], param.vt);
        if (param.by_ref) {
            if (param.vt != VT_VARIANT && values[i].Type() != param.vt) {
                Variant typed;
                if (SUCCEEDED(VariantChangeType(typed.Put(), &values[i], 0, param.vt))) values[i] = std::move(typed);
            }
            VariantInit(&refs[i]);
            refs[i].vt = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&refs[i]) = &values[i];
            args[i] = &refs[i];
        } else {
            args[i] = &values[i];
        }
    }
    Variant result;
    const WORD flags = member->kind == INVOKE_FUNC ? DISPATCH_METHOD : DISPATCH_PROPERTYGET;
    const CallOutcome outcome = CallByName(object, name, flags, args, result.Put());

    std::string shown = member->name;
    if (count) {
        shown += "(";
        for (size_t i = 0; i < count; ++i) shown += (i ? ", " : "") + step.args[i];
        shown += ")";
    }
    if (FAILED(outcome.status)) {
        std::printf("%s: status %s\n", shown.c_str(), outcome.Text().c_str());
        return false;
    }
    std::printf("%s: status %s", shown.c_str(), StatusText(outcome.status).c_str());
    if (member->result != VT_VOID || result.Type() != VT_EMPTY) std::printf(", result %s", FormatVariant(result).c_str());
    std::printf("\n");
    for (size_t i = 0; i < count; ++i) {
        if (!member->params[i].by_ref) continue;
        const std::string label = member->params[i].name.empty() ? "parameter " + std::to_string(i + 1)
                                                                  : member->params[i].name;
        std::printf("  %s = %s\n", label.c_str(), FormatVariant(values[i]).c_str());
    }
    return true;
}

} // namespace

int RunCall(const Args &args) {
    if (WantsHelp(LeadingOptions(args))) {
        PrintHelp(kCallHelp, true);
        return kExitOk;
    }
    try {
        const CommandLine line = ParseCommandLine("call", args, {}, true);
        if (line.words.empty()) throw CommandError{kExitUsage, "expects PROGID [STEP ...] (see tarvex10 call --help)"};
        Session session(line.component);
        ComPtr<IDispatch> object = session.Create(Utf16(line.words[0]));
        std::string error;
        const std::optional<InterfaceDesc> desc = DescribeInterface(object.Get(), &error);
        if (!desc) throw CommandError{kExitFailed, error};

        std::vector<CallStep> steps;
        try {
            const Args words(line.words.begin() + 1, line.words.end());
            steps = SplitCallSteps(words, [&](std::string_view name) -> std::optional<MemberShape> {
                const MemberDesc *call = desc->FindCall(name);
                const MemberDesc *put = desc->FindPut(name);
                if (!call && !put) return std::nullopt;
                MemberShape shape;
                if (call) shape.call_params = call->params.size();
                shape.has_put = put != nullptr;
                return shape;
            });
        } catch (const std::invalid_argument &problem) {
            throw CommandError{kExitUsage, std::string(problem.what()) + " in " + line.words[0]};
        }

        MessageCapture capture([](const std::string &text, const std::string &title) {
            std::fflush(stdout);
            std::fprintf(stderr, "message: %s\n", MessageLine(text, title).c_str());
            std::fflush(stderr);
        });
        bool all_ok = true;
        for (const CallStep &step : steps) all_ok = RunStep(object.Get(), *desc, step) && all_ok;
        std::fflush(stdout);
        return all_ok ? kExitOk : kExitFailed;
    } catch (const CommandError &error) {
        return Fail("call", error.code, error.text);
    }
}

int RunMembers(const Args &args) {
    if (WantsHelp(args)) {
        PrintHelp(kMembersHelp, true);
        return kExitOk;
    }
    try {
        const CommandLine line = ParseCommandLine("members", args, {}, false);
        if (line.words.size() != 1) throw CommandError{kExitUsage, "expects one PROGID (see tarvex10 members --help)"};
        Session session(line.component);
        ComPtr<IDispatch> object = session.Create(Utf16(line.words[0]));
        std::string error;
        const std::optional<InterfaceDesc> desc = DescribeInterface(object.Get(), &error);
        if (!desc) throw CommandError{kExitFailed, error};
        std::printf("%s: interface %s, %zu members\n", line.words[0].c_str(), desc->name.c_str(), desc->members.size());
        for (const MemberDesc &member : desc->members) {
            std::printf("  0x%08X  %-6s  %s\n", static_cast<unsigned>(member.id), KindWord(member.kind).c_str(),
                        Signature(member).c_str());
        }
        return kExitOk;
    } catch (const CommandError &error) {
        return Fail("members", error.code, error.text);
    }
}

} // namespace tvx::cli
