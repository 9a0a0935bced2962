#include "platform/cpu.h"

#include <cpuid.h>

namespace vq::platform {

namespace {

class HardwareCpuid final : public CpuidSource {
public:
    // Every x86-64 processor has CPUID.
    bool hasCpuid() override { return true; }

    CpuidResult cpuid(uint32_t leaf, uint32_t subLeaf) override {
        CpuidResult r;
        __cpuid_count(leaf, subLeaf, r.eax, r.ebx, r.ecx, r.edx);
        return r;
    }

    uint64_t xgetbv(uint32_t index) override {
        uint32_t lo, hi;
        __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(index));
        return (uint64_t(hi) << 32) | lo;
    }
};

HardwareCpuid hardware;
CpuidSource* current = nullptr;

} // namespace

CpuidSource& hardwareCpuidSource() { return hardware; }
CpuidSource& cpuidSource() { return current ? *current : hardware; }
void setCpuidSource(CpuidSource* source) { current = source; }

uint32_t readMxcsr() {
    uint32_t v;
    __asm__ volatile("stmxcsr %0" : "=m"(v));
    return v;
}

void writeMxcsr(uint32_t value) { __asm__ volatile("ldmxcsr %0" : : "m"(value)); }

uint16_t readX87ControlWord() {
    uint16_t cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}

void writeX87ControlWord(uint16_t value) { __asm__ volatile("fldcw %0" : : "m"(value)); }

} // namespace vq::platform
