// The support library's exception types.
#include <gtest/gtest.h>

#include <string>

#include "win/Errors.h"

namespace {

class CountingUnknown : public IUnknown {
public:
    LONG references = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** result) override {
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
};

}  // namespace

TEST(Errors, WhatNamesTheDynamicTypeAndLastErrorKeepsTheCode) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    try {
        throw Lumo::LastError();
    } catch (const std::exception& e) {
        EXPECT_STREQ("Lumo::LastError", e.what());
        const auto* last = dynamic_cast<const Lumo::LastError*>(&e);
        ASSERT_NE(nullptr, last);
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), last->Code());
        const std::any* code = last->GetProperty(L"error_code");
        ASSERT_NE(nullptr, code);
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), std::any_cast<DWORD>(*code));
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Lumo::LastError(ERROR_FILE_NOT_FOUND).Code());

    try {
        throw ReleaseVersionTooHigh();
    } catch (const Lumo::AnyError& e) {
        EXPECT_STREQ("ReleaseVersionTooHigh", e.what());
    }
    EXPECT_STREQ("Lumo::AnyError", Lumo::AnyError().what());
    EXPECT_STREQ("Lumo::ComError", Lumo::ComError(E_FAIL).what());
}

TEST(Errors, CopiesShareThePropertyMap) {
    Lumo::AnyError original;
    EXPECT_EQ(nullptr, original.Properties());
    original.SetProperty(L"path", std::wstring(L"C:\\x"));
    Lumo::AnyError copy = original;
    copy.SetProperty(L"line", 7);
    ASSERT_NE(nullptr, original.GetProperty(L"line"));
    EXPECT_EQ(7, std::any_cast<int>(*original.GetProperty(L"line")));
    EXPECT_EQ(L"C:\\x", std::any_cast<std::wstring>(*copy.GetProperty(L"path")));
    EXPECT_EQ(nullptr, copy.GetProperty(L"missing"));
}

TEST(Errors, ComErrorHoldsItsErrorInfoReference) {
    CountingUnknown info;
    {
        Lumo::ComError error(E_ACCESSDENIED, &info);
        EXPECT_EQ(2, info.references);
        Lumo::ComError copy = error;
        EXPECT_EQ(3, info.references);
        EXPECT_EQ(E_ACCESSDENIED, copy.Result());
        EXPECT_EQ(&info, copy.ErrorInfo());
        Lumo::ComError other(E_FAIL);
        other = copy;
        EXPECT_EQ(4, info.references);
    }
    EXPECT_EQ(1, info.references);
    EXPECT_THROW(Lumo::ThrowIfFailed(E_OUTOFMEMORY), Lumo::ComError);
    EXPECT_NO_THROW(Lumo::ThrowIfFailed(S_FALSE));
}
