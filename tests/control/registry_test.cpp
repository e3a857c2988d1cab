#include "control/registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "control/registration.h"
#include "support/temp_db.h"

namespace dorvane::com {
namespace {

TEST(Registry, TextRoundTripsWithQuotesAndCaseBlindKeys) {
  Registry r;
  r.setValue("HKEY_CLASSES_ROOT\\A", "", "a \"quoted\" \\ value");
  r.setValue("HKEY_CLASSES_ROOT\\A", "Name", "x");
  r.addKey("HKEY_CLASSES_ROOT\\A\\Empty");
  Registry back = Registry::parse(r.serialize());
  EXPECT_EQ(back.value("hkey_classes_root\\a"), "a \"quoted\" \\ value");
  EXPECT_EQ(back.value("HKEY_CLASSES_ROOT\\A", "NAME"), "x");
  EXPECT_TRUE(back.hasKey("HKEY_CLASSES_ROOT\\A\\Empty"));
  EXPECT_EQ(back.serialize(), r.serialize());
}

TEST(Registration, UnregisterLeavesTheRegistryAsBefore) {
  testing::TempDir dir;
  const std::string path = dir.file("registry");
  Registry::update(path,
                   [](Registry& r) { r.setValue("HKEY_CLASSES_ROOT\\Other.Thing", "", "kept"); });
  const std::string before = dorvane::testing::readBytes(path);

  Registry::update(path, [](Registry& r) { registerLibrary(r, "/opt/lib/Dorvane.ocx"); });
  Registry r = Registry::load(path);
  const std::string clsid = "HKEY_CLASSES_ROOT\\CLSID\\{2362DF56-1756-4226-B838-C3B0E3E905B4}";
  EXPECT_EQ(r.value(clsid + "\\InprocServer32"), "/opt/lib/Dorvane.ocx");
  EXPECT_EQ(r.value(clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(r.value(clsid + "\\ProgID"), "Dorvane.ctlMessage");
  EXPECT_EQ(r.value("HKEY_CLASSES_ROOT\\Dorvane.ctlMessage\\CLSID"),
            "{2362DF56-1756-4226-B838-C3B0E3E905B4}");
  EXPECT_TRUE(r.hasKey(clsid + "\\Control"));
  EXPECT_EQ(r.value(clsid + "\\MiscStatus\\1"), "131473");
  EXPECT_EQ(r.value(clsid + "\\ToolboxBitmap32"), "/opt/lib/Dorvane.ocx, 30000");
  // Version 26.0 named in hexadecimal, as LoadRegTypeLib looks it up.
  EXPECT_EQ(r.value("HKEY_CLASSES_ROOT\\TypeLib\\{3D60A47F-9CC1-4C06-9103-967168E50A11}\\1a.0"),
            "Dorvane");
  EXPECT_EQ(r.value("HKEY_CLASSES_ROOT\\Interface\\{27E78DE4-94C9-4507-8E84-78AD6BF53885}"),
            "_ctlMessage");
  EXPECT_EQ(r.value("HKEY_CLASSES_ROOT\\Interface\\{DD55E4B7-22ED-4710-9B80-866FC1517074}"),
            "__ctlMessage");
  EXPECT_EQ(r.value("HKEY_CLASSES_ROOT\\Other.Thing"), "kept");

  Registry::update(path, [](Registry& r) { unregisterLibrary(r); });
  EXPECT_EQ(dorvane::testing::readBytes(path), before);

  // A registry holding only our entries disappears again.
  testing::TempDir dir2;
  const std::string path2 = dir2.file("registry");
  Registry::update(path2, [](Registry& r) { registerLibrary(r, "/x/Dorvane.ocx"); });
  Registry::update(path2, [](Registry& r) { unregisterLibrary(r); });
  EXPECT_FALSE(std::filesystem::exists(path2));
}

TEST(Registry, ConcurrentUpdatesLoseNothing) {
  testing::TempDir dir;
  const std::string path = dir.file("sub/registry");
  constexpr int kThreads = 4, kEach = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        Registry::update(path, [&](Registry& r) {
          r.setValue("K\\" + std::to_string(t) + "\\" + std::to_string(i), "", "v");
        });
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(Registry::load(path).keys().size(), static_cast<size_t>(kThreads * kEach));
}

}  // namespace
}  // namespace dorvane::com
