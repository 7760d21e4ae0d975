// Runs the holescan program itself.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

namespace {

TEST(Holescan, without_a_display_says_so_in_one_line_and_exits_with_status_one) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    environment.remove(QString::fromLatin1(name));
  QProcess holescan;
  holescan.setProcessEnvironment(environment);
  holescan.start(QStringLiteral(HOLESCAN_EXE), {QStringLiteral("picture.png")});
  ASSERT_TRUE(holescan.waitForFinished(30000));

  EXPECT_EQ(holescan.exitStatus(), QProcess::NormalExit);  // not an abort
  EXPECT_EQ(holescan.exitCode(), 1);
  const QString message = QString::fromUtf8(holescan.readAllStandardError());
  EXPECT_EQ(message.count('\n'), 1) << message.toStdString();
  EXPECT_TRUE(message.contains("no display")) << message.toStdString();
  EXPECT_TRUE(message.contains("holescan-cli")) << message.toStdString();
  EXPECT_TRUE(holescan.readAllStandardOutput().isEmpty());
}

}  // namespace
