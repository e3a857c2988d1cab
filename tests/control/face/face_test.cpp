// The control's face on the offscreen platform: one button, covering the
// face; a click runs the sample through the registered component.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <filesystem>

#include "control/face/ctl_message_face.h"
#include "support/component_env.h"

namespace dorvane {
namespace {

TEST(Face, Command1CoversTheFaceAndRunsTheSample) {
  testing::ComponentEnvironment env;
  ASSERT_EQ(env.entry<decltype(&DllRegisterServer)>("DllRegisterServer")(), com::S_OK);
  int argc = 1;
  char name[] = "face_test";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  CtlMessageFace face;
  face.resize(200, 80);
  face.show();
  EXPECT_EQ(face.command1()->text(), QStringLiteral("Command1"));
  EXPECT_EQ(face.command1()->geometry(), QRect(0, 0, 200, 80));

  QTest::mouseClick(face.command1(), Qt::LeftButton);
  EXPECT_TRUE(std::filesystem::exists(env.dir().file("sample/sampleweb1.htm")));
  EXPECT_TRUE(std::filesystem::exists(env.dir().file("sample/samplekiv.sqlite")));
  env.entry<decltype(&DllUnregisterServer)>("DllUnregisterServer")();
}

}  // namespace
}  // namespace dorvane
