// The registry-script registrar on a scratch key of the current user.
#include <gtest/gtest.h>

#include "server/Registrar.h"
#include "support/TestSupport.h"
#include "win/Errors.h"

using namespace QuelvarTest;
using Lumo::Registry::Registrar;

namespace {

const std::wstring kScratch = L"Software\\QuelvarRegistrarTest";

class RegistrarScripts : public ::testing::Test {
protected:
    void SetUp() override { Registrar::DeleteTree(HKEY_CURRENT_USER, kScratch); }
    void TearDown() override { Registrar::DeleteTree(HKEY_CURRENT_USER, kScratch); }
};

std::wstring Text(const std::wstring& path, const std::wstring& name) {
    for (const RegistryValue& value : Values(HKEY_CURRENT_USER, kScratch + path)) {
        if (value.name == name) return value.Text();
    }
    return L"<missing>";
}

}  // namespace

TEST_F(RegistrarScripts, WritesValuesAndRemovesWhatItWrote) {
    Registrar registrar;
    registrar.AddReplacement(L"MODULE", L"C:\\Users\\O'Brien\\My Tools\\Quelvar.dll");
    const std::wstring script =
        L"HKCU { NoRemove Software { NoRemove QuelvarRegistrarTest {\n"
        L"  Plain = s 'default text' { val Path = s '%MODULE%'  val Count = d '0x2A'  val Blob = b '00ff10' "
        L"}\n"
        L"  'Quoted ''name''' = s '100%% sure'\n"
        L"  ForceRemove Forced { Child }\n"
        L"} } }";
    registrar.Run(script, true);

    EXPECT_EQ(L"default text", Text(L"\\Plain", L""));
    EXPECT_EQ(L"C:\\Users\\O'Brien\\My Tools\\Quelvar.dll", Text(L"\\Plain", L"Path"));
    EXPECT_EQ(L"100% sure", Text(L"\\Quoted 'name'", L""));
    for (const RegistryValue& value : Values(HKEY_CURRENT_USER, kScratch + L"\\Plain")) {
        if (value.name == L"Count") {
            EXPECT_EQ(static_cast<DWORD>(REG_DWORD), value.type);
            EXPECT_EQ(42u, *reinterpret_cast<const DWORD*>(value.data.data()));
        }
        if (value.name == L"Blob") {
            EXPECT_EQ((std::vector<BYTE>{0x00, 0xFF, 0x10}), value.data);
        }
    }
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kScratch + L"\\Forced\\Child"));

    // A plain key that gained a foreign subkey is kept on unregistration.
    Registrar().Run(L"HKCU { Software { QuelvarRegistrarTest { Plain { Foreign } } } }", true);
    registrar.Run(script, false);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kScratch));  // NoRemove
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kScratch + L"\\Forced"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kScratch + L"\\Quoted 'name'"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kScratch + L"\\Plain\\Foreign"));
    EXPECT_EQ(L"<missing>", Text(L"\\Plain", L"Path"));

    // Delete removes a key on registration.
    registrar.Run(L"HKCU { NoRemove Software { NoRemove QuelvarRegistrarTest { Delete Plain } } }", true);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kScratch + L"\\Plain"));
}

TEST_F(RegistrarScripts, MalformedScriptsWriteNothing) {
    const wchar_t* broken[] = {
        L"HKCU { Software { QuelvarRegistrarTest { Key = s 'unterminated } } }",
        L"HKCU { Software { QuelvarRegistrarTest { Key = x 'unknown type' } } }",
        L"HKCU { Software { QuelvarRegistrarTest { Key = s '%UNKNOWN%' } } }",
        L"HKCU { Software { QuelvarRegistrarTest { Key { val Name s 'no equals' } } } }",
        L"HKCU { Software { QuelvarRegistrarTest { Key = d 'twelve' } } }",
        L"HKXX { Software }",
        L"HKCU { Software { QuelvarRegistrarTest { Key }",
    };
    for (const wchar_t* script : broken) {
        EXPECT_THROW(Registrar().Run(script, true), Lumo::ComError)
            << std::string(script, script + wcslen(script));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kScratch));
    }
    // The boundary form reports the failure as an HRESULT.
    EXPECT_TRUE(FAILED(Registrar().RunResource(::GetModuleHandleW(nullptr), 9999, true)));
}
