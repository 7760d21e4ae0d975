// gui_test_support.h - pictures on disk and controls by name for the GUI tests.
#pragma once

#include <gtest/gtest.h>

#include <QEvent>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "main_window/qt/picture_box.h"
#include "pixel/picture.h"

namespace holescan::testing {

// Writes `picture` as a PNG into `dir`; returns its path.
inline QString WritePicture(const QTemporaryDir& dir, const QString& name, const Picture& picture) {
  const QString path = dir.filePath(name);
  EXPECT_TRUE(WrapPicture(picture).save(path, "PNG")) << path.toStdString();
  return path;
}

inline QString WritePicture(const QTemporaryDir& dir, const QString& name, int width, int height,
                            std::uint32_t colour = Rgb(200, 190, 170)) {
  return WritePicture(dir, name, Picture(width, height, colour));
}

// The child of `window` with this object name and kind; fails the test when there is none.
template <typename T>
T* Find(const QWidget& window, const char* name) {
  T* control = window.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(control, nullptr) << name;
  return control;
}

// What a widget shows on screen, as 0xAARRGGBB words.
inline QImage Shown(QWidget* widget) {
  return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Calls `action` whenever `watched` receives an event of `type`, before `watched` sees it.
class EventHook : public QObject {
 public:
  EventHook(QObject* watched, QEvent::Type type, std::function<void()> action)
      : type_(type), action_(std::move(action)) {
    watched->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == type_) action_();
    return false;
  }

 private:
  QEvent::Type type_;
  std::function<void()> action_;
};

}  // namespace holescan::testing
