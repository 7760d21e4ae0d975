// form_window.h - Form1, the program's only window, on Qt widgets.
//
// FormWindow creates the controls of the design with their names, kinds, captions, design
// geometry and tab order, binds them to the window's logic (Form1) through QtToolkit, and
// turns clicks, mouse presses on PicTarget and dropped files into Form1's commands. The
// whole layout sits in a scroll area, so a picture larger than the screen scrolls while
// every control keeps the geometry the logic gives it.
//
// Commands run to completion on the event thread; while one runs, no click, key, drop or
// close request is handled (a close request waits for the command's end).
//
// File names are bytes and need not be UTF-8; the text box can only show them decoded. A
// name that came as bytes (from the command line or a dropped file) is loaded by its bytes
// as long as the text box still shows it unchanged.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace holescan {

class Form1;
class PictureBox;
class QtToolkit;

class FormWindow : public QWidget {
  Q_OBJECT

 public:
  // Creates the window and runs Form_Load; `picture`, when given, replaces the initial text
  // of TextFilename first.
  explicit FormWindow(const std::optional<QString>& picture = std::nullopt,
                      QWidget* parent = nullptr)
      : FormWindow(picture, std::string(), parent) {}
  // The same with the picture's file name as the system gives it.
  struct FileName {
    std::string bytes;
  };
  explicit FormWindow(const FileName& picture, QWidget* parent = nullptr);
  ~FormWindow() override;

  Form1& Form() { return *form_; }
  QtToolkit& Toolkit() { return *toolkit_; }
  QScrollArea* ScrollArea() const { return scrollArea_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  FormWindow(const std::optional<QString>& picture, std::string pictureBytes, QWidget* parent);
  // Remembers the bytes of a file name shown in TextFilename.
  void ShowFileName(const QString& shown, std::string bytes);
  // The file name TextFilename stands for, as bytes.
  std::string FileNameBytes() const;
  void Form_Load();
  void CmdLoad_Click();
  void CmdDraw_Click();
  void PicTarget_MouseDown(int button, int shift, float x, float y);
  // Runs one command of the logic, then shows what it changed.
  template <typename Command>
  void Run(Command command, bool wholeResult = false);

  QScrollArea* scrollArea_;
  QPushButton* CmdLoad;
  QLineEdit* TextFilename;
  QPushButton* CmdDraw;
  QWidget* PicFillOut;
  QWidget* PicFillIn;
  PictureBox* PicNew;
  PictureBox* PicTarget;
  QLabel* LabelFilename;
  QLabel* LabelVerbose;

  std::unique_ptr<QtToolkit> toolkit_;
  std::unique_ptr<Form1> form_;
  QString namedText_;  // TextFilename's text when a name came as bytes
  std::string namedBytes_;
  bool busy_ = false;
  bool closeWaiting_ = false;
};

}  // namespace holescan
