// The control module through what a long-lived host does to it: creating the control, letting
// it go and unloading the module again and again, ending and entering apartments, and a
// container whose site frees unused libraries from inside its own Release.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pal/host_kit.h"
#include "pal/oleidl.h"
#include "pal/winreg.h"
#include "prowlnet/icprowlnet.h"
#include "support/module_entry.h"
#include "support/netns.h"
#include "support/temp_prefix.h"
#include "support/test_container.h"

namespace {

using ATL::CComPtr;

/// Registers the control on a fresh emulated machine, as the documented command does.
void RegisterControl() {
  // The keys every Windows machine has under HKEY_CLASSES_ROOT, for registration to write into.
  for (const char16_t* root : {u"TypeLib", u"Interface"}) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, root, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  ASSERT_EQ(test_support::RunProgram({REGSVR32_PATH, "-s", PROWLNET_MODULE_PATH}), 0);
}

HRESULT CanUnloadNow() { return test_support::CanUnloadNowIfLoaded(PROWLNET_MODULE_PATH); }

bool ModuleLoaded() { return CanUnloadNow() != E_FAIL; }

HWND WindowOf(IUnknown* control) {
  CComPtr<IOleWindow> window;
  HWND handle = nullptr;
  if (control->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)) == S_OK) window->GetWindow(&handle);
  return handle;
}

/// Creates the control by its ProgID, calls it and lets it go; the name of its window's class.
std::u16string CreateUseAndRelease() {
  CComPtr<ICProwlnet> control;
  EXPECT_EQ(control.CoCreateInstance(kProwlnetProgId, nullptr, CLSCTX_INPROC_SERVER), S_OK);
  if (control == nullptr) return u"";
  LONG count = -1;
  EXPECT_EQ(control->GetIPCCount(&count), S_OK);
  EXPECT_EQ(count, 0);
  WCHAR name[64] = {};
  EXPECT_GT(GetClassNameW(WindowOf(control), name, 64), 0);
  return name;
}

TEST(ModuleLifetime, TheControlIsMadeAgainAfterEveryUnloadAndInEveryNewApartment) {
  test_support::TempPrefix prefix;
  RegisterControl();
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  for (int round = 1; round <= 3; ++round) {
    const std::u16string windowClass = CreateUseAndRelease();
    ASSERT_FALSE(windowClass.empty()) << "round " << round;
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ModuleLoaded()) << "round " << round;
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    EXPECT_FALSE(GetClassInfoExW(nullptr, windowClass.c_str(), &info))
        << "round " << round << ": a class is left with its procedure in the unloaded module";
  }
  for (int apartment = 1; apartment <= 2; ++apartment) {
    EXPECT_FALSE(CreateUseAndRelease().empty()) << "apartment " << apartment;
    CoUninitialize();
    EXPECT_FALSE(ModuleLoaded()) << "the apartment's end lets go of the module";
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  }
  CoUninitialize();
}

TEST(ModuleLifetime, TheLastReleaseTearsTheControlDownBeforeTheModuleMayGo) {
  test_support::TempPrefix prefix;
  RegisterControl();
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  std::vector<HRESULT> answers;
  std::vector<bool> windowAlive;
  {
    test_support::TestContainer container;
    CComPtr<IUnknown> control;
    ASSERT_EQ(control.CoCreateInstance(kProwlnetProgId, nullptr, CLSCTX_INPROC_SERVER), S_OK);
    ASSERT_EQ(container.Site(control), S_OK);
    ASSERT_EQ(container.ActivateInPlace(RECT{0, 0, 200, 100}), S_OK);
    const HWND window = WindowOf(control);
    ASSERT_TRUE(IsWindow(window));
    // A container that frees unused libraries whenever it lets go of something.
    container.OnSiteRelease([&] {
      answers.push_back(CanUnloadNow());
      windowAlive.push_back(IsWindow(window) != FALSE);
      CoFreeUnusedLibraries();
    });
    container.LetGo();
    control.Release();  // the last reference: the control lets go of the site in its teardown
    EXPECT_FALSE(answers.empty()) << "the control released the site it held";
    for (size_t i = 0; i < answers.size(); ++i) {
      EXPECT_EQ(answers[i], S_FALSE) << "release " << i << " of the site, during the control's teardown";
      EXPECT_FALSE(windowAlive[i]) << "release " << i << ": the window goes first";
    }
    container.OnSiteRelease(nullptr);
  }
  EXPECT_EQ(CanUnloadNow(), S_OK);
  CoFreeUnusedLibraries();
  EXPECT_FALSE(ModuleLoaded());
  CoUninitialize();
}

}  // namespace
