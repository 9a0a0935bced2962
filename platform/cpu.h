// Processor identification and floating-point control. CPUID and XGETBV go
// through a replaceable source so that tests can present any processor.
#pragma once

#include <cstdint>

namespace vq::platform {

struct CpuidResult {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

class CpuidSource {
public:
    virtual ~CpuidSource() = default;
    virtual bool hasCpuid() = 0;
    virtual CpuidResult cpuid(uint32_t leaf, uint32_t subLeaf) = 0;
    // Extended control register; only asked for when OSXSAVE is reported.
    virtual uint64_t xgetbv(uint32_t index) = 0;
};

// The real processor.
CpuidSource& hardwareCpuidSource();
// The source in use: the hardware unless a test installed another.
CpuidSource& cpuidSource();
// Installs a source (null restores the hardware). Not thread safe: call it
// before any primitive runs, as tests do.
void setCpuidSource(CpuidSource* source);

// SSE control/status register (MXCSR).
uint32_t readMxcsr();
void writeMxcsr(uint32_t value);

// x87 control word.
uint16_t readX87ControlWord();
void writeX87ControlWord(uint16_t value);

} // namespace vq::platform
