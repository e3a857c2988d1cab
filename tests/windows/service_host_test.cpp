// A host without an interactive desktop (a service): a failing pass shows no
// box that nobody could close; the "error" line goes to the debug output
// (run.sh reads it through Wine's debug channel) and the call goes on.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/temp_db.h"

namespace {

TEST(ServiceHost, AFailingPassDoesNotWaitWithoutAnInteractiveDesktop) {
  // A window station of our own, not visible: as a service has.
  HWINSTA station = ::CreateWindowStationW(L"dorvane-service-test", 0, WINSTA_ALL_ACCESS, nullptr);
  ASSERT_NE(station, nullptr);
  HWINSTA before = ::GetProcessWindowStation();
  ASSERT_TRUE(::SetProcessWindowStation(station));
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  ASSERT_TRUE(::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed));
  EXPECT_EQ(flags.dwFlags & WSF_VISIBLE, 0u);

  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CLSID clsid{};
  ASSERT_EQ(::CLSIDFromProgID(L"Dorvane.ctlMessage", &clsid), S_OK);
  IDispatch* d = nullptr;
  ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&d)),
            S_OK);
  dorvane::testing::TempDir dir;
  const std::string page = dir.file("bad.htm"), out = dir.file("out.htm");
  dorvane::testing::writeBytes(page, "!!price,A01 gethere !!");  // a "!!" without ";": error
  auto bstr = [](const std::string& s) {
    return ::SysAllocString(std::wstring(s.begin(), s.end()).c_str());
  };
  VARIANT args[4];
  const std::string values[4] = {"", dir.file("none.sqlite"), out, page};  // last first
  for (int i = 0; i < 4; ++i) {
    V_VT(&args[i]) = VT_BSTR;
    V_BSTR(&args[i]) = bstr(values[i]);
  }
  DISPPARAMS params{args, nullptr, 4, 0};
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(d->Invoke(0x60030005, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_LT(::GetTickCount64() - start, 10000u);
  EXPECT_EQ(dorvane::testing::readBytes(out), "!!price,A01 gethere !!\r\n");
  for (VARIANT& a : args) ::VariantClear(&a);
  d->Release();
  ::CoUninitialize();
  ::SetProcessWindowStation(before);
  ::CloseWindowStation(station);
}

}  // namespace
