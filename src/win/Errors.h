// Exception types through which the support code reports failures. Every one
// derives from std::exception and carries an optional, shared property map.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <any>
#include <exception>
#include <map>
#include <memory>
#include <string>

#include "win/Handle.h"

namespace Lumo {

class AnyError : public std::exception {
public:
    using PropertyMap = std::map<std::wstring, std::any>;

    AnyError() = default;

    // The dynamic type's name, e.g. "Lumo::LastError".
    const char* what() const noexcept override;

    // Attaches a property, creating the map on first use. Copies of the
    // exception share the map.
    AnyError& SetProperty(const std::wstring& name, std::any value);
    const std::any* GetProperty(const std::wstring& name) const;
    const std::shared_ptr<PropertyMap>& Properties() const { return properties_; }

private:
    std::shared_ptr<PropertyMap> properties_;
    mutable std::string name_;
};

// A failed Windows call: carries "error_code", the thread's last error at
// construction unless the thrower names the code.
class LastError : public AnyError {
public:
    LastError();
    explicit LastError(DWORD code);
    DWORD Code() const;
};

// A failed COM call: the HRESULT and, when given, the error-info object.
class ComError : public AnyError {
public:
    explicit ComError(HRESULT hr, IUnknown* errorInfo = nullptr);
    HRESULT Result() const { return hr_; }
    IUnknown* ErrorInfo() const { return errorInfo_.get(); }

private:
    HRESULT hr_;
    Lumo::Win::ComPtr<IUnknown> errorInfo_;
};

// Throws ComError when hr is a failure code.
inline void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) throw ComError(hr);
}

}  // namespace Lumo

// The data file was written by a newer release than this one.
class ReleaseVersionTooHigh : public Lumo::AnyError {};
