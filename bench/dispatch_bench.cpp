// The cost of reaching a member: through its early-bound interface entry,
// through the generic late-bound Invoke, and of resolving a name on the
// largest class. The program ends with the late/early ratio of the same run.
//
// The member measured is a class of this file's own with one by-ref int32
// parameter and a Variant result, the shape of most movie player members,
// so that the figures show the binding and not a media device.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "component/registry.h"
#include "figures.h"
#include "frame/member.h"

// The bench class's dual interface as a C++ client declares it. Outside the
// unnamed namespace on purpose: there the compiler may conclude that no class
// implements it and replace the call by the pure-virtual trap.
struct IStep : public IDispatch {
    virtual HRESULT Step(LONG *Value, VARIANT *pRetVal) = 0;
};

namespace {

class StepObject : public tvx::ObjectBase {
public:
    StepObject();
    tvx::Variant Step(tvx::ByRef<int32_t> Value) {
        Value += 1;
        return {};
    }
};

const tvx::ClassInfo &StepClass() {
    static const tvx::MemberInfo members[] = {
        tvx::Method<&StepObject::Step>(0x60030001, u"Step", u"Value"),
    };
    static const tvx::ClassInfo info(
        u"clsStepBench", u"Tarvex10Bench.clsStepBench",
        {0x3e0d2a61, 0x7c41, 0x4b8e, {0x9d, 0x52, 0x18, 0x6a, 0xf0, 0x3b, 0xc4, 0x27}},
        {0x8a5f1c93, 0x2b6e, 0x4d07, {0xa1, 0x3c, 0x5e, 0x94, 0x0b, 0x7d, 0x62, 0xf8}}, members,
        &tvx::CreateObject<StepObject>, &tvx::DestroyObject<StepObject>);
    return info;
}

StepObject::StepObject() : ObjectBase(StepClass()) {}

constexpr DISPID kStepId = 0x60030001;

// Holds one object of `info` for the length of a benchmark.
class Instance {
public:
    explicit Instance(const tvx::ClassInfo &info) : object_(info.create()) {}
    Instance(const Instance &) = delete;
    ~Instance() { object_->Release(); }
    IDispatch *Dispatch() const { return object_->Interface(); }

private:
    tvx::ObjectBase *object_;
};

void EarlyBoundStep(benchmark::State &state) {
    Instance instance(StepClass());
    auto *step = reinterpret_cast<IStep *>(instance.Dispatch());
    LONG value = 0;
    VARIANT result;
    VariantInit(&result);
    for (auto _ : state) {
        HRESULT hr = step->Step(&value, &result);
        benchmark::DoNotOptimize(hr);
        benchmark::DoNotOptimize(result);
    }
    if (value != static_cast<LONG>(state.iterations())) state.SkipWithError("Step did not run once per call");
}
BENCHMARK(EarlyBoundStep);

void LateBoundStep(benchmark::State &state) {
    Instance instance(StepClass());
    IDispatch *dispatch = instance.Dispatch();
    LONG value = 0;
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BYREF | VT_I4;
    V_I4REF(&argument) = &value;
    DISPPARAMS params{&argument, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    for (auto _ : state) {
        HRESULT hr = dispatch->Invoke(kStepId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                                      nullptr, nullptr);
        benchmark::DoNotOptimize(hr);
        benchmark::DoNotOptimize(result);
    }
    if (value != static_cast<LONG>(state.iterations())) state.SkipWithError("Invoke did not reach Step once per call");
}
BENCHMARK(LateBoundStep);

// One name on the movie player, a class of 72 members.
void NameLookup(benchmark::State &state, std::u16string name) {
    Instance instance(tvx::MoviesClass());
    IDispatch *dispatch = instance.Dispatch();
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    for (auto _ : state) {
        HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        benchmark::DoNotOptimize(hr);
        benchmark::DoNotOptimize(id);
    }
    if (id != 0x60030022) state.SkipWithError("getPositionInMS resolved to the wrong identifier");
}
BENCHMARK_CAPTURE(NameLookup, exact, std::u16string(u"getPositionInMS"));
BENCHMARK_CAPTURE(NameLookup, upper_case, std::u16string(u"GETPOSITIONINMS"));

} // namespace

int main(int argc, char **argv) {
    const auto figures = tvx::bench::RunBenchmarks(argc, argv);
    if (!figures) return 1;
    auto find = [&](const std::string &name) -> const double * {
        auto it = figures->find(name);
        return it == figures->end() ? nullptr : &it->second;
    };
    const double *early = find("EarlyBoundStep");
    const double *late = find("LateBoundStep");
    if (early && late && *early > 0) {
        std::printf("late/early ratio: %.2f (late-bound Invoke %.1f ns, early-bound call %.1f ns)\n", *late / *early,
                    *late, *early);
    }
    for (const char *name : {"NameLookup/exact", "NameLookup/upper_case"}) {
        if (const double *ns = find(name)) std::printf("%s: %.1f ns\n", name, *ns);
    }
    return 0;
}
