#pragma once

// The COM-style object model of the media runtime: the Windows scalar types its interfaces use,
// GUIDs, IUnknown, and ComPtr, the one smart pointer that pairs AddRef and Release.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "media/hresult.h"

namespace media {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using BOOL = std::int32_t;
using WCHAR = char16_t;
using LPCWSTR = const WCHAR*;
using LPWSTR = WCHAR*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// The in-memory form of a GUID (Data1..3 in host order), as the runtime's interfaces pass it.
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    // Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (no braces); all zero on a malformed text.
    static GUID fromString(const char* text);
    std::string toString() const;
};

inline bool operator==(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}

using IID = GUID;
using REFIID = const IID&;

extern const IID IID_IUnknown;

class IUnknown {
public:
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    // Objects are destroyed through Release only.
    ~IUnknown() = default;
};

// Owns one reference to a runtime object.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already owns (as creation functions hand out).
    static ComPtr adopt(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    // Adds a reference of its own.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) {
            p_->AddRef();
        }
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) {
            p->Release();
        }
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out parameters: releases what is held and hands out the slot.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    // Gives up ownership of the reference without releasing it.
    T* detach() { return std::exchange(p_, nullptr); }

    // Queries the held object for another interface.
    template <class U>
    HRESULT as(REFIID iid, ComPtr<U>& out) const {
        if (!p_) {
            return E_POINTER;
        }
        return p_->QueryInterface(iid, out.putVoid());
    }

private:
    T* p_ = nullptr;
};

// One interface an object offers: the IIDs that ask for it and the object's pointer as it.
struct OfferedInterface {
    std::initializer_list<IID> ids;
    IUnknown* object;
};

// QueryInterface over the interfaces an object offers: the first whose IIDs hold riid, with a
// reference added; E_POINTER without ppv, E_NOINTERFACE (and a null *ppv) for any other IID.
HRESULT queryInterface(REFIID riid, void** ppv, std::initializer_list<OfferedInterface> offered);

// A thread-safe reference count for runtime objects; the object deletes itself at zero.
class RefCount {
public:
    ULONG addRef() { return ++count_; }
    ULONG release() { return --count_; }

private:
    std::atomic<ULONG> count_{1};
};

// Completes a runtime object with its reference count: Impl provides QueryInterface and its
// interfaces' methods; the object deletes itself when the last reference goes.
template <class Impl>
class ComObject final : public Impl {
public:
    template <class... Args>
    explicit ComObject(Args&&... args) : Impl(std::forward<Args>(args)...) {}
    ULONG AddRef() override { return refs_.addRef(); }
    ULONG Release() override {
        ULONG left = refs_.release();
        if (left == 0) {
            delete this;
        }
        return left;
    }

private:
    RefCount refs_;
};

}  // namespace media
