// Fuzzes the guide builder on arbitrary configurations and device lists,
// within its contract of at least as many device names as disks: it never
// fails, and builds exactly when it does not refuse.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "guide.h"
#include "l10n.h"

namespace {

constexpr int kMaxDisks = 300;
constexpr size_t kMaxNameBytes = 24;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    L10n::setLanguage("en");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    raid::Config c;
    c.level = static_cast<raid::Level>(in.ConsumeIntegralInRange(-1, 9));
    c.disks = in.ConsumeIntegralInRange(-2, kMaxDisks);
    c.spares = in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, kMaxDisks) : in.ConsumeIntegral<int>();
    c.mirror = in.ConsumeIntegral<int>();
    c.groups = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 40) : in.ConsumeIntegral<int>();
    c.disk_bytes = in.ConsumeFloatingPoint<double>();
    const auto pm = static_cast<guide::Pm>(in.ConsumeIntegralInRange(-1, 4));
    std::vector<std::string> devs;
    if (in.ConsumeBool()) {
        devs = guide::devices(static_cast<guide::Dev>(in.ConsumeIntegralInRange(-1, 3)), c.disks);
    } else {
        while (static_cast<int>(devs.size()) < c.disks || (in.remaining_bytes() > 0 && devs.size() < kMaxDisks))
            devs.push_back("/dev/" + in.ConsumeRandomLengthString(kMaxNameBytes));
    }

    const raid::Result r = raid::compute(c);
    const guide::Guide g = guide::build(c, r, pm, devs);
    if (g.possible != (guide::refusal(c, r) == nullptr)) __builtin_trap();
    if (g.possible == g.steps.empty() || g.possible == !g.reason.empty()) __builtin_trap();
    for (const guide::Step& s : g.steps) {
        if (s.title.empty()) __builtin_trap();
        if (s.notes.size() > s.cmds.size() && !s.cmds.empty()) __builtin_trap();
    }
    return 0;
}
