#include "platform/Automation_win.h"

#include <vector>

namespace kx {
namespace {

HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args, unsigned count, VARIANT* result) {
    if (!object) return E_POINTER;
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> reversed(args, args + count);
    for (size_t i = 0; i < reversed.size() / 2; ++i) std::swap(reversed[i], reversed[reversed.size() - 1 - i]);
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = count;
    DISPID named = DISPID_PROPERTYPUT;
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

}  // namespace

ComPtr<IDispatch> CreateAutomationObject(const wchar_t* progId) {
    ComPtr<IDispatch> object;
    CLSID clsid;
    if (SUCCEEDED(CLSIDFromProgID(progId, &clsid)))
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                         reinterpret_cast<void**>(object.put()));
    return object;
}

HRESULT PutProperty(IDispatch* object, const wchar_t* name, const VARIANT& value) {
    VARIANT arg = value;
    return Invoke(object, name, DISPATCH_PROPERTYPUT, &arg, 1, nullptr);
}

HRESULT GetProperty(IDispatch* object, const wchar_t* name, VARIANT* result) {
    return Invoke(object, name, DISPATCH_PROPERTYGET, nullptr, 0, result);
}

HRESULT CallMethod(IDispatch* object, const wchar_t* name, VARIANT* args, unsigned count, VARIANT* result) {
    // Collections' Item and similar members are properties with arguments: allow both.
    return Invoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, count, result);
}

void SetBool(VARIANT* v, bool value) {
    VariantClear(v);
    v->vt = VT_BOOL;
    v->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetString(VARIANT* v, const std::wstring& value) {
    VariantClear(v);
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
}

ComPtr<IDispatch> DispatchOf(const VARIANT& v) {
    ComPtr<IDispatch> result;
    if ((v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) && v.punkVal)
        v.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(result.put()));
    return result;
}

double NumberOf(const VARIANT& v) {
    VARIANT copy;
    VariantInit(&copy);
    double result = 0;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_R8))) result = copy.dblVal;
    VariantClear(&copy);
    return result;
}

std::wstring StringOf(const VARIANT& v) {
    VARIANT copy;
    VariantInit(&copy);
    std::wstring result;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_BSTR)) && copy.bstrVal)
        result.assign(copy.bstrVal, SysStringLen(copy.bstrVal));
    VariantClear(&copy);
    return result;
}

}  // namespace kx
