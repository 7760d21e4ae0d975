// Every hostile file through the window's Load command, on Qt's offscreen platform: the
// picture it holds, or the message line naming the file and the reason with the previous
// picture kept; "Draw" works after each, and a good picture loads at the end. And the window
// program itself where no display can be opened.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/outputs.h"
#include "hostile_files.h"
#include "support/scratch_folder.h"
#include "limited_run.h"
#include "main_window/form1.h"
#include "main_window/qt/form_window.h"

namespace holescan {
namespace {

using hostile::Expect;
using hostile::HostileCase;

bool SamePicture(const Picture& a, const Picture& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::memcmp(a.Data(), b.Data(), a.Stride() * static_cast<std::size_t>(a.Height()) * 4) ==
             0;
}

// Text that a line edit holds unchanged: valid UTF-8 without control characters.
bool Typable(const std::string& path) {
  const QString text = QString::fromStdString(path);
  if (text.toStdString() != path) return false;
  for (const QChar c : text) {
    if (c.unicode() < 0x20) return false;
  }
  return true;
}

class HostileWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ::chmod(folder_.c_str(), 0755);  // an unprivileged user may look inside
    cases_ = hostile::WriteHostileFiles(folder_);
  }
  std::string PathOf(const HostileCase& c) const {
    return c.name.front() == '/' ? c.name : (folder_ / c.name).string();
  }

  // Loads `path` as a user would: typed into the text box and "&Load" clicked, or, for a
  // name that cannot be typed, dropped on the window as a file.
  static void Load(FormWindow& window, const std::string& path) {
    if (Typable(path)) {
      window.findChild<QLineEdit*>(QStringLiteral("TextFilename"))
          ->setText(QString::fromStdString(path));
      QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("CmdLoad")), Qt::LeftButton);
      return;
    }
    QMimeData file;
    file.setUrls(
        {QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
  }

  static QString Caption(FormWindow& window) {
    return window.findChild<QLabel*>(QStringLiteral("LabelVerbose"))->toolTip();
  }

  testing::TemporaryFolder scratch_{"hostile"};
  const std::filesystem::path& folder_ = scratch_.Get();
  std::vector<HostileCase> cases_;
};

TEST_F(HostileWindow, each_load_shows_the_picture_or_says_why_and_the_window_stays_usable) {
  const std::string good = (folder_ / "bmp-24.bmp").string();
  FormWindow window(QString::fromStdString(good));
  window.show();
  ASSERT_TRUE(SamePicture(window.Form().PicTarget(), hostile::BasePicture()));
  // A picture like no case's, shown before each case that should load.
  const std::string marker = (folder_ / "marker.png").string();
  ASSERT_TRUE(QImage(3, 2, QImage::Format_RGB32).save(QString::fromStdString(marker)));
  for (const HostileCase& c : cases_) {
    const std::string path = PathOf(c);
    SCOPED_TRACE(cli::OneLine(path) + " (" + c.what + ")");
    if (c.expect != Expect::Refused) {
      Load(window, marker);
      ASSERT_EQ(window.Form().PicTarget().Width(), 3);
    }
    const Picture before = window.Form().PicTarget();
    const auto start = std::chrono::steady_clock::now();
    const bool asNobody = c.unreadable && ::geteuid() == 0;
    if (asNobody) {
      ASSERT_EQ(::seteuid(testing::kNobody), 0);
    }
    Load(window, path);
    if (asNobody) {
      ASSERT_EQ(::seteuid(0), 0);
    }
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              10.0);

    const Picture& shown = window.Form().PicTarget();
    const bool outOfMemory = c.large && Caption(window).endsWith(QStringLiteral(": out of memory"));
    if (c.expect == Expect::Refused || outOfMemory) {
      const std::string reason = outOfMemory ? "out of memory" : c.reason;
      EXPECT_EQ(
          Caption(window).toStdString(),
          QString::fromUtf8(cli::OneLine("Cannot load " + path + ": " + reason)).toStdString());
      EXPECT_TRUE(SamePicture(shown, before)) << "the previous picture was not kept";
    } else {
      EXPECT_FALSE(Caption(window).startsWith(QStringLiteral("Cannot load")))
          << Caption(window).toStdString();
      EXPECT_EQ(shown.Width(), c.width);
      EXPECT_EQ(shown.Height(), c.height);
      if (c.picture) {
        EXPECT_TRUE(SamePicture(shown, *c.picture)) << "the pixels differ";
      }
    }
    // Still usable: "Draw" analyses whatever picture the window now shows.
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("CmdDraw")), Qt::LeftButton);
    EXPECT_FALSE(Caption(window).contains(QStringLiteral("stopped"), Qt::CaseInsensitive))
        << Caption(window).toStdString();
  }

  Load(window, good);
  QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("CmdDraw")), Qt::LeftButton);
  ASSERT_TRUE(SamePicture(window.Form().PicTarget(), hostile::BasePicture()));
  const HoleArray& peaks = window.Form().Analysis().Peaks();
  ASSERT_EQ(peaks.Size(), 1u);
  EXPECT_EQ(peaks[0].CenterX, 18.0f);
  EXPECT_EQ(peaks[0].CenterY, 11.0f);
  if (!testing::kUnderAddressSanitizer) {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(static_cast<std::uint64_t>(usage.ru_maxrss) * 1024, 1024 * testing::kMiB);
  }
}

// A name from the command line is bytes: loaded by them while the text box shows it, by the
// text once the user has typed another.
TEST_F(HostileWindow, a_name_that_is_not_utf8_loads_by_its_bytes_until_edited) {
  const std::string latin = (folder_ / "latin-1-\xe9t\xe9-\xff.bmp").string();
  FormWindow window(FormWindow::FileName{latin});
  EXPECT_TRUE(SamePicture(window.Form().PicTarget(), hostile::BasePicture()))
      << Caption(window).toStdString();
  auto* text = window.findChild<QLineEdit*>(QStringLiteral("TextFilename"));
  auto* load = window.findChild<QPushButton*>(QStringLiteral("CmdLoad"));
  QTest::mouseClick(load, Qt::LeftButton);
  EXPECT_FALSE(Caption(window).startsWith(QStringLiteral("Cannot load")));
  text->setText(text->text() + QStringLiteral("x"));
  QTest::mouseClick(load, Qt::LeftButton);
  EXPECT_TRUE(Caption(window).endsWith(QStringLiteral(".bmpx: no such file")))
      << Caption(window).toStdString();
}

// The window program where no display can be opened: one line saying so, status 1, never
// the abort of Qt's platform plugins.
TEST(HostileDisplay, an_unreachable_display_or_platform_gives_one_line_and_status_one) {
  const std::vector<std::pair<const char*, const char*>> settings = {
      {"DISPLAY", ":54321"},               // no X server there
      {"QT_QPA_PLATFORM", "no-such-one"},  // a platform plugin that does not exist
      {"WAYLAND_DISPLAY", "wayland-54321"},
  };
  for (const auto& [name, value] : settings) {
    SCOPED_TRACE(std::string(name) + "=" + value);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* unset : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      environment.remove(QString::fromLatin1(unset));
    environment.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QDir::tempPath());
    QProcess holescan;
    holescan.setProcessEnvironment(environment);
    holescan.start(QStringLiteral(HOLESCAN_EXE), {QStringLiteral("picture.png")});
    ASSERT_TRUE(holescan.waitForFinished(30000));
    EXPECT_EQ(holescan.exitStatus(), QProcess::NormalExit);  // not an abort
    EXPECT_EQ(holescan.exitCode(), 1);
    const QString message = QString::fromLocal8Bit(holescan.readAllStandardError());
    EXPECT_EQ(message.count('\n'), 1) << message.toStdString();
    EXPECT_TRUE(message.startsWith(QStringLiteral("holescan: no display is available")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("holescan-cli"))) << message.toStdString();
  }
}

}  // namespace
}  // namespace holescan
