// Reference-counted engine objects and the intrusive pointer that holds them.
//
// Every engine object that is shared or handed between parts of the system
// derives vq_refcount. A new object has count 0; its factory takes the first
// reference and the caller adopts it (vq_ptr::adopt or vq_ptr::put), so a
// fresh object ends up with exactly one reference held by its first owner.
#pragma once

#include <cstdint>

class vq_refcount {
public:
    vq_refcount() = default;
    // A copied object is a new object: it starts with no holders.
    vq_refcount(const vq_refcount&) {}
    vq_refcount& operator=(const vq_refcount&) { return *this; }

    virtual ~vq_refcount();
    // Atomic increment; returns the new count.
    virtual int32_t addRef();
    // Atomic decrement; at zero calls onFinalRelease and deletes the object.
    // Returns the new count (0 after the final release).
    virtual int32_t release();
    // Called once with the count at 0, just before the object deletes itself.
    virtual void onFinalRelease();

    // Current number of holders (for diagnostics and tests).
    int32_t refCount() const { return __atomic_load_n(&count_, __ATOMIC_SEQ_CST); }

private:
    volatile int32_t count_ = 0;
};

// Intrusive reference pointer: owns one reference to the object it holds.
template <class T>
class vq_ptr {
public:
    vq_ptr() = default;
    vq_ptr(T* p) : p_(p) {
        if (p_) p_->addRef();
    }
    vq_ptr(const vq_ptr& other) : vq_ptr(other.p_) {}
    template <class U>
    vq_ptr(const vq_ptr<U>& other) : vq_ptr(other.get()) {}
    vq_ptr(vq_ptr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ~vq_ptr() {
        if (p_) p_->release();
    }

    // Takes the new reference before dropping the old one, so assigning a
    // pointer to itself, or from a pointer that lives inside the object being
    // released, keeps the object alive.
    vq_ptr& operator=(const vq_ptr& other) {
        assign(other.p_);
        return *this;
    }
    template <class U>
    vq_ptr& operator=(const vq_ptr<U>& other) {
        assign(other.get());
        return *this;
    }
    vq_ptr& operator=(vq_ptr&& other) noexcept {
        if (this != &other) {
            T* old = p_;
            p_ = other.p_;
            other.p_ = nullptr;
            if (old) old->release();
        }
        return *this;
    }
    vq_ptr& operator=(T* p) {
        assign(p);
        return *this;
    }

    // Holds p without taking a reference: for factory results, whose
    // reference the caller adopts.
    static vq_ptr adopt(T* p) {
        vq_ptr r;
        r.p_ = p;
        return r;
    }
    // Releases what is held and returns the address of the raw pointer, for
    // factories and openers that store an already referenced object through an
    // out-parameter.
    T** put() {
        reset();
        return &p_;
    }
    void reset() {
        T* old = p_;
        p_ = nullptr;
        if (old) old->release();
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    bool operator==(const T* p) const { return p_ == p; }
    bool operator!=(const T* p) const { return p_ != p; }
    bool operator==(std::nullptr_t) const { return p_ == nullptr; }
    bool operator!=(std::nullptr_t) const { return p_ != nullptr; }
    template <class U>
    bool operator==(const vq_ptr<U>& other) const { return p_ == other.get(); }
    template <class U>
    bool operator!=(const vq_ptr<U>& other) const { return p_ != other.get(); }
    bool operator<(const vq_ptr& other) const { return p_ < other.p_; }

private:
    void assign(T* p) {
        if (p) p->addRef();
        T* old = p_;
        p_ = p;
        if (old) old->release();
    }

    T* p_ = nullptr;
};
