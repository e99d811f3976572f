#pragma once
// Late-bound COM automation (IDispatch by member name), for the scripting objects the program uses:
// "VBScript.RegExp" and WMI's "WbemScripting.SWbemLocator".
#include <oaidl.h>
#include <windows.h>

#include <string>

namespace kx {

// Owns one COM interface pointer. put() releases the old pointer first, so it never leaks.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// A VARIANT that is cleared when it goes.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }
    VARIANT* put() {
        VariantClear(&v_);
        return &v_;
    }
    const VARIANT& operator*() const { return v_; }

private:
    VARIANT v_;
};

// Initialises COM on this thread for the object's lifetime; uninitialises only after a successful
// (S_OK or S_FALSE) initialisation, as COM requires.
class ComApartment {
public:
    ComApartment() : hr_(CoInitialize(nullptr)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT hr_;
};

// Creates the automation object registered under the ProgID; null when it is missing or blocked.
ComPtr<IDispatch> CreateAutomationObject(const wchar_t* progId);

// Arguments are given in their natural order (the helpers reverse them as IDispatch wants).
HRESULT PutProperty(IDispatch* object, const wchar_t* name, const VARIANT& value);
HRESULT GetProperty(IDispatch* object, const wchar_t* name, VARIANT* result);
HRESULT CallMethod(IDispatch* object, const wchar_t* name, VARIANT* args, unsigned count, VARIANT* result);

// VARIANT helpers: a BSTR variant owns its string (VariantClear frees it).
void SetBool(VARIANT* v, bool value);
void SetString(VARIANT* v, const std::wstring& value);
// The variant's IDispatch (with a reference of its own), or null.
ComPtr<IDispatch> DispatchOf(const VARIANT& v);
// The variant converted to a number (0 when it does not convert).
double NumberOf(const VARIANT& v);
std::wstring StringOf(const VARIANT& v);

}  // namespace kx
