// Diagnostics of the JPEG 2000 codec. Every condition the codec detects has
// its own descriptor class, DiagnDescrCT<enumeration, number>; errors are
// thrown as that descriptor, warnings are handed to a diagnostic output and
// decoding goes on with the repair the warning's text announces.
#pragma once

#include <cstdint>

// The thirteen enumerations. Those ending in Exception are thrown, those
// ending in Warning go to the diagnostic output.
enum class DJP2CSException : int32_t {};
enum class DJP2CSUnsuppException : int32_t {};
enum class DJP2CSWarning : int32_t {};
enum class DJP2MarkerException : int32_t {};
enum class DJP2MarkerWarning : int32_t {};
enum class DJP2BoxException : int32_t {};
enum class DJP2BoxWarning : int32_t {};
enum class DJP2FileException : int32_t {};
enum class DJP2FileWarning : int32_t {};
enum class DPHWarning : int32_t {};
enum class DEBCOTWarning : int32_t {};
enum class MemoryException : int32_t {};
enum class ByteInputException : int32_t {};

// The text a descriptor returns: at most 1024 characters and a NUL.
class DiagnText {
public:
    static constexpr int kCapacity = 1024;
    DiagnText() { text_[0] = 0; }
    explicit DiagnText(const char* text);
    const char* c_str() const { return text_; }

private:
    char text_[kCapacity + 1];
};

class BDiagnDescr {
public:
    virtual DiagnText Message() const = 0;
    virtual ~BDiagnDescr() = default;
};

// The catalogue: the text of (enumeration, number), or null for a number that
// no condition raises. Specialised per enumeration in diagnostics.cpp.
template <class E>
const char* DiagnCatalogueText(int32_t number);

template <class E> struct DiagnIsWarning { static constexpr bool value = false; };
template <> struct DiagnIsWarning<DJP2CSWarning> { static constexpr bool value = true; };
template <> struct DiagnIsWarning<DJP2MarkerWarning> { static constexpr bool value = true; };
template <> struct DiagnIsWarning<DJP2BoxWarning> { static constexpr bool value = true; };
template <> struct DiagnIsWarning<DJP2FileWarning> { static constexpr bool value = true; };
template <> struct DiagnIsWarning<DPHWarning> { static constexpr bool value = true; };
template <> struct DiagnIsWarning<DEBCOTWarning> { static constexpr bool value = true; };

// One class per (enumeration, number); it holds no data.
template <class E, int32_t N>
class DiagnDescrCT : public BDiagnDescr {
public:
    using Enumeration = E;
    static constexpr int32_t kNumber = N;
    static constexpr bool kIsWarning = DiagnIsWarning<E>::value;
    DiagnText Message() const override { return DiagnText(DiagnCatalogueText<E>(N)); }
};

// Where warnings go. The default output drops everything.
class BDiagnOutput {
public:
    virtual ~BDiagnOutput() = default;
    virtual void Warning(const BDiagnDescr& descr) {}
    virtual void Error(const BDiagnDescr& descr) {}
};

// Held by every component that warns: its own default output and a pointer to
// the current one (not owned).
class DiagnOutputRef {
public:
    DiagnOutputRef() : current_(&default_) {}
    DiagnOutputRef(const DiagnOutputRef& other) : current_(&default_) { *this = other; }
    DiagnOutputRef& operator=(const DiagnOutputRef& other) {
        current_ = other.current_ == &other.default_ ? &default_ : other.current_;
        return *this;
    }

    void SetOutput(BDiagnOutput* output) { current_ = output ? output : &default_; }
    BDiagnOutput* Output() const { return current_; }

    // Raises warning (E, N): builds the descriptor and hands it to the output.
    template <class E, int32_t N>
    void Warn() const {
        static_assert(DiagnIsWarning<E>::value, "only warnings go to the output");
        const DiagnDescrCT<E, N> descr;
        current_->Warning(descr);
    }

private:
    BDiagnOutput default_;
    BDiagnOutput* current_;
};

// Throws error (E, N) as its descriptor.
template <class E, int32_t N>
[[noreturn]] inline void ThrowDiagn() {
    static_assert(!DiagnIsWarning<E>::value, "warnings are not thrown");
    throw DiagnDescrCT<E, N>();
}
