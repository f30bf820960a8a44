// Exception types of the support library.
#include "win/Errors.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

namespace Lumo {

const char* AnyError::what() const noexcept {
    if (name_.empty()) {
        try {
            const char* mangled = typeid(*this).name();
            int status = 0;
            char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
            name_ = (status == 0 && demangled) ? demangled : mangled;
            std::free(demangled);
        } catch (...) {
            return "Lumo::AnyError";
        }
    }
    return name_.c_str();
}

AnyError& AnyError::SetProperty(const std::wstring& name, std::any value) {
    if (!properties_) properties_ = std::make_shared<PropertyMap>();
    (*properties_)[name] = std::move(value);
    return *this;
}

const std::any* AnyError::GetProperty(const std::wstring& name) const {
    if (!properties_) return nullptr;
    auto it = properties_->find(name);
    return it == properties_->end() ? nullptr : &it->second;
}

LastError::LastError() : LastError(::GetLastError()) {}

LastError::LastError(DWORD code) { SetProperty(L"error_code", code); }

DWORD LastError::Code() const {
    const std::any* value = GetProperty(L"error_code");
    return value ? std::any_cast<DWORD>(*value) : 0;
}

ComError::ComError(HRESULT hr, IUnknown* errorInfo) : hr_(hr) {
    if (errorInfo) {
        errorInfo->AddRef();
        errorInfo_ = Lumo::Win::ComPtr<IUnknown>::Attach(errorInfo);
    }
}

}  // namespace Lumo
