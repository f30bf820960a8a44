// The registered module through real COM activation: the handler's
// interfaces and identity, the class object, and when the module may unload.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "Quelvar.h"
#include "server/ServerIds.h"
#include "support/TestSupport.h"
#include "win/Handle.h"

using namespace QuelvarTest;
using Lumo::Win::ComPtr;

extern "C" const CLSID CLSID_GotoFavorite;

namespace {

class ComServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0u, RunProcess(L"regsvr32.exe /s \"" + BuiltModulePath() + L"\""));
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override {
        ::CoUninitialize();
        RunProcess(L"regsvr32.exe /s /u \"" + BuiltModulePath() + L"\"");
    }

    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFn = HRESULT(WINAPI*)();

    // The module COM loaded for us, found by its registered path.
    template <class Fn>
    Fn Export(const char* name) {
        HMODULE module = ::GetModuleHandleW(BuiltModulePath().c_str());
        return module ? reinterpret_cast<Fn>(::GetProcAddress(module, name)) : nullptr;
    }
};

IUnknown* Identity(IUnknown* object) {
    ComPtr<IUnknown> identity;
    EXPECT_EQ(S_OK, object->QueryInterface(IID_IUnknown, identity.put_void()));
    return identity.get();
}

}  // namespace

TEST_F(ComServer, CoCreateInstanceAnswersEveryInterfaceWithOneIdentity) {
    ComPtr<IUnknown> object;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_GotoFavorite, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                       object.put_void()));
    ComPtr<IGotoFavorite> favorite;
    ComPtr<IShellExtInit> init;
    ComPtr<IContextMenu> menu1;
    ComPtr<IContextMenu2> menu2;
    ComPtr<IContextMenu3> menu3;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IGotoFavorite, favorite.put_void()));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IShellExtInit, init.put_void()));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IContextMenu, menu1.put_void()));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IContextMenu2, menu2.put_void()));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IContextMenu3, menu3.put_void()));

    // One shared pointer for the three menu interfaces.
    EXPECT_EQ(static_cast<void*>(menu1.get()), static_cast<void*>(menu2.get()));
    EXPECT_EQ(static_cast<void*>(menu2.get()), static_cast<void*>(menu3.get()));
    // Identity: IUnknown is the same whichever interface is asked.
    IUnknown* identity = Identity(object.get());
    EXPECT_EQ(identity, Identity(favorite.get()));
    EXPECT_EQ(identity, Identity(init.get()));
    EXPECT_EQ(identity, Identity(menu3.get()));
    // Symmetry and transitivity through the other interfaces.
    ComPtr<IShellExtInit> initAgain;
    EXPECT_EQ(S_OK, menu3->QueryInterface(IID_IShellExtInit, initAgain.put_void()));
    EXPECT_EQ(init.get(), initAgain.get());
    ComPtr<IContextMenu3> menuAgain;
    EXPECT_EQ(S_OK, favorite->QueryInterface(IID_IContextMenu3, menuAgain.put_void()));
    EXPECT_EQ(menu3.get(), menuAgain.get());

    ComPtr<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IShellFolder, none.put_void()));
    EXPECT_FALSE(none);
    EXPECT_EQ(E_POINTER, object->QueryInterface(IID_IUnknown, nullptr));
}

// The class the package manifest names (kCommandClsid, from the same build constant): the registered module
// serves it, with the title and the icon of its own resources that Windows 11's first-level menu shows, and
// keeps itself loaded while the command lives.
TEST_F(ComServer, TheModuleServesTheFirstLevelMenuCommand) {
    ComPtr<IExplorerCommand> command;
    ASSERT_EQ(S_OK, ::CoCreateInstance(kCommandClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand,
                                       command.put_void()));
    ComPtr<IObjectWithSite> site;
    EXPECT_EQ(S_OK, command->QueryInterface(IID_IObjectWithSite, site.put_void()));
    LPWSTR title = nullptr, icon = nullptr;
    ASSERT_EQ(S_OK, command->GetTitle(nullptr, &title));
    EXPECT_STREQ(L"Quelvar", title);
    ::CoTaskMemFree(title);
    ASSERT_EQ(S_OK, command->GetIcon(nullptr, &icon));
    const std::wstring reference = icon;
    ::CoTaskMemFree(icon);
    const size_t comma = reference.rfind(L",-");
    ASSERT_NE(std::wstring::npos, comma);
    EXPECT_EQ(0, ::lstrcmpiW(reference.substr(0, comma).c_str(), BuiltModulePath().c_str()));
    HICON loaded = nullptr;
    EXPECT_EQ(1u, ::ExtractIconExW(reference.substr(0, comma).c_str(),
                                   -std::stoi(reference.substr(comma + 2)), nullptr, &loaded, 1));
    if (loaded) ::DestroyIcon(loaded);
    EXPCMDFLAGS flags = 0;
    EXPECT_EQ(S_OK, command->GetFlags(&flags));
    EXPECT_EQ(static_cast<EXPCMDFLAGS>(ECF_HASSUBCOMMANDS), flags);
    EXPECT_EQ(S_FALSE, Export<CanUnloadNowFn>("DllCanUnloadNow")());
}

TEST_F(ComServer, ClassObjectAndUnloadFollowLiveObjectsAndServerLocks) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, ::CoGetClassObject(CLSID_GotoFavorite, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                       factory.put_void()));
    auto getClassObject = Export<GetClassObjectFn>("DllGetClassObject");
    auto canUnloadNow = Export<CanUnloadNowFn>("DllCanUnloadNow");
    ASSERT_TRUE(getClassObject && canUnloadNow);

    const CLSID foreign = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    ComPtr<IUnknown> result;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(foreign, IID_IClassFactory, result.put_void()));
    EXPECT_FALSE(result);
    EXPECT_EQ(E_POINTER, getClassObject(CLSID_GotoFavorite, IID_IClassFactory, nullptr));
    // The class object is cached: asking again gives the same one.
    ComPtr<IClassFactory> direct;
    ASSERT_EQ(S_OK, getClassObject(CLSID_GotoFavorite, IID_IClassFactory, direct.put_void()));
    ComPtr<IClassFactory> again;
    ASSERT_EQ(S_OK, getClassObject(CLSID_GotoFavorite, IID_IClassFactory, again.put_void()));
    EXPECT_EQ(direct.get(), again.get());
    EXPECT_EQ(CLASS_E_NOAGGREGATION, direct->CreateInstance(direct.get(), IID_IUnknown, result.put_void()));

    EXPECT_EQ(S_OK, canUnloadNow());
    {
        ComPtr<IContextMenu3> object;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu3, object.put_void()));
        EXPECT_EQ(S_FALSE, canUnloadNow());
        ComPtr<IContextMenu3> second;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu3, second.put_void()));
        object.reset();
        EXPECT_EQ(S_FALSE, canUnloadNow());
    }
    EXPECT_EQ(S_OK, canUnloadNow());

    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, canUnloadNow());
    ASSERT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, canUnloadNow());
}

// A module installed in a folder whose path is longer than MAX_PATH still loads.
TEST(ModuleLoad, LoadsFromAFolderDeeperThanMaxPath) {
    TempFolder temp;
    std::wstring folder = L"\\\\?\\" + temp.Path();
    while (folder.size() < 330) {
        folder += L"a-rather-long-folder-name-for-the-test\\";
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    }
    std::wstring target = folder + L"Quelvar.dll";
    ASSERT_TRUE(::CopyFileW(BuiltModulePath().c_str(), target.c_str(), FALSE));
    HMODULE module = ::LoadLibraryExW(target.c_str(), nullptr, 0);
    DWORD error = ::GetLastError();
    ASSERT_NE(nullptr, module) << "error " << error;
    wchar_t shortBuffer[MAX_PATH];
    // The module knows where it lives, which needs more than MAX_PATH characters.
    EXPECT_EQ(static_cast<DWORD>(MAX_PATH), ::GetModuleFileNameW(module, shortBuffer, MAX_PATH));
    auto canUnloadNow = reinterpret_cast<HRESULT(WINAPI*)()>(::GetProcAddress(module, "DllCanUnloadNow"));
    ASSERT_NE(nullptr, canUnloadNow);
    EXPECT_EQ(S_OK, canUnloadNow());
    ::FreeLibrary(module);
    DeleteFolderTree(temp.Path() + L"a-rather-long-folder-name-for-the-test");
}

// Loaded and asked for its class object, as every host that opens a file dialog does, the module brings in
// neither WinINet nor MPR: only the update check and network connections load them.
TEST(ModuleLoad, LeavesWinInetAndMprUnloaded) {
    const wchar_t* const delayed[] = {L"wininet.dll", L"mpr.dll"};
    for (const wchar_t* dll : delayed) ASSERT_EQ(nullptr, ::GetModuleHandleW(dll)) << "the test loaded it";
    HMODULE module = ::LoadLibraryW(BuiltModulePath().c_str());
    ASSERT_NE(nullptr, module);
    auto getClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        ::GetProcAddress(module, "DllGetClassObject"));
    ASSERT_NE(nullptr, getClassObject);
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, getClassObject(CLSID_GotoFavorite, IID_IClassFactory, factory.put_void()));
    }
    for (const wchar_t* dll : delayed) EXPECT_EQ(nullptr, ::GetModuleHandleW(dll)) << dll;
    ::FreeLibrary(module);
}

// The module's version resource names the product version in both forms.
TEST(ModuleLoad, VersionResourceAndTypeLibraryDescribeTheModule) {
    const std::wstring path = BuiltModulePath();
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(5, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(3, 1), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    wchar_t* text = nullptr;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\ProductVersion",
                                 reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(L"1.5.1.3", text);
    // The type library travels with the module as TYPELIB 1.
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    EXPECT_NE(nullptr, ::FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB"));
    ::FreeLibrary(module);
    ComPtr<ITypeLib> library;
    ASSERT_EQ(S_OK, ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()));
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(S_OK, library->GetDocumentation(-1, &name, &doc, nullptr, nullptr));
    EXPECT_STREQ(L"QuelvarLib", name);
    EXPECT_STREQ(L"Quelvar 1.0 Type Library", doc);
    ::SysFreeString(name);
    ::SysFreeString(doc);
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(CLSID_GotoFavorite, coclass.put()));
    ASSERT_EQ(S_OK, coclass->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr));
    EXPECT_STREQ(L"GotoFavorite", name);
    EXPECT_STREQ(L"GotoFavorite Class", doc);
    ::SysFreeString(name);
    ::SysFreeString(doc);
    ComPtr<ITypeInfo> favorite;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(IID_IGotoFavorite, favorite.put()));
    ASSERT_EQ(S_OK, favorite->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr));
    EXPECT_STREQ(L"IGotoFavorite Interface", doc);
    ::SysFreeString(name);
    ::SysFreeString(doc);
}
