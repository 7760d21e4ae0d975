#include "main_window/qt/form_window.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPalette>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>
#include <new>
#include <utility>

#include "main_window/form1.h"
#include "main_window/qt/picture_box.h"
#include "main_window/qt/qt_toolkit.h"

namespace holescan {
namespace {

QWidget* ColourBox(const QString& name, QColor colour, QWidget* parent) {
  auto* box = new QWidget(parent);
  box->setObjectName(name);
  QPalette palette = box->palette();
  palette.setColor(QPalette::Window, colour);
  box->setPalette(palette);
  box->setAutoFillBackground(true);
  return box;
}

// The local file a drag carries, or an empty string.
QString DraggedFile(const QMimeData* data) {
  if (data == nullptr) return {};
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return url.toLocalFile();
  }
  return {};
}

// The same file name as bytes: a URL keeps bytes that are not UTF-8 percent-encoded, which
// toLocalFile() would turn into replacement characters.
std::string DraggedFileBytes(const QMimeData* data) {
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile())
      return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
  }
  return {};
}

QString ObjectName(Control control) {
  const std::string_view name = Design(control).name;
  return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

FormWindow::FormWindow(const FileName& picture, QWidget* parent)
    : FormWindow(QFile::decodeName(QByteArray::fromStdString(picture.bytes)), picture.bytes,
                 parent) {}

FormWindow::FormWindow(const std::optional<QString>& picture, std::string pictureBytes,
                       QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(tr("Form1"));
  setAcceptDrops(true);
  // The design's geometry fits captions of 8 points.
  QFont captions = font();
  captions.setPointSize(8);
  setFont(captions);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  scrollArea_ = new QScrollArea(this);
  scrollArea_->setFrameShape(QFrame::NoFrame);
  layout->addWidget(scrollArea_);
  auto* content = new QWidget;

  // In the order the design creates them: later controls lie above earlier ones.
  CmdLoad = new QPushButton(tr("&Load"), content);
  CmdLoad->setObjectName(ObjectName(Control::CmdLoad));
  TextFilename = new QLineEdit(QString::fromUtf8(kDefaultFilename), content);
  TextFilename->setObjectName(ObjectName(Control::TextFilename));
  TextFilename->setAcceptDrops(false);  // a dropped file goes to the window and is loaded
  CmdDraw = new QPushButton(tr("Draw"), content);
  CmdDraw->setObjectName(ObjectName(Control::CmdDraw));
  PicFillOut = ColourBox(ObjectName(Control::PicFillOut), Qt::black, content);
  PicFillIn = ColourBox(ObjectName(Control::PicFillIn), QColor(0, 0, 255), PicFillOut);
  PicNew = new PictureBox(ObjectName(Control::PicNew), QColor(0, 0, 64), content);
  PicTarget = new PictureBox(ObjectName(Control::PicTarget), Qt::black, content);
  PicTarget->SetLineColour(QColor(255, 255, 0));
  LabelFilename = new QLabel(tr("&Filename"), content);
  LabelFilename->setObjectName(ObjectName(Control::LabelFilename));
  LabelFilename->setBuddy(TextFilename);
  LabelVerbose = new QLabel(tr("Label1"), content);
  LabelVerbose->setObjectName(ObjectName(Control::LabelVerbose));
  LabelVerbose->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // Labels are drawn on the window itself, beneath every other control.
  LabelFilename->lower();
  LabelVerbose->lower();
  scrollArea_->setWidget(content);
  scrollArea_->setFocusPolicy(Qt::NoFocus);
  for (QWidget* box :
       {static_cast<QWidget*>(PicTarget), static_cast<QWidget*>(PicNew), PicFillOut, PicFillIn})
    box->setFocusPolicy(Qt::StrongFocus);
  setTabOrder(PicTarget, PicNew);
  setTabOrder(PicNew, PicFillOut);
  setTabOrder(PicFillOut, PicFillIn);
  setTabOrder(PicFillIn, CmdDraw);
  setTabOrder(CmdDraw, TextFilename);
  setTabOrder(TextFilename, CmdLoad);

  toolkit_ = std::make_unique<QtToolkit>(
      QtToolkit::Controls{this, content, CmdLoad, TextFilename, CmdDraw, PicFillOut, PicFillIn,
                          PicNew, PicTarget, LabelFilename, LabelVerbose});
  form_ = std::make_unique<Form1>(*toolkit_, *toolkit_);
  toolkit_->TargetPictureChanged(form_->PicTarget());
  toolkit_->ResultPictureChanged(form_->PicNew());
  for (const ControlDesign& control : kControls)
    toolkit_->SetGeometry(control.control, control.design);

  connect(CmdLoad, &QPushButton::clicked, this, &FormWindow::CmdLoad_Click);
  connect(CmdDraw, &QPushButton::clicked, this, &FormWindow::CmdDraw_Click);
  connect(PicTarget, &PictureBox::MouseDown, this, &FormWindow::PicTarget_MouseDown);

  if (picture) TextFilename->setText(*picture);
  if (picture && !pictureBytes.empty()) ShowFileName(*picture, std::move(pictureBytes));
  Form_Load();
}

FormWindow::~FormWindow() = default;

template <typename Command>
void FormWindow::Run(Command command, bool wholeResult) {
  if (busy_) return;
  busy_ = true;
  try {
    command();
  } catch (const std::bad_alloc&) {
    toolkit_->SetCaption("Stopped: out of memory");
  } catch (const std::exception& error) {
    toolkit_->SetCaption(std::string("Stopped: ") + error.what());
  }
  toolkit_->Flush(wholeResult);
  busy_ = false;
  if (closeWaiting_) close();
}

void FormWindow::ShowFileName(const QString& shown, std::string bytes) {
  TextFilename->setText(shown);
  namedText_ = TextFilename->text();  // as the text box keeps it
  namedBytes_ = std::move(bytes);
}

std::string FormWindow::FileNameBytes() const {
  const QString text = TextFilename->text();
  if (!namedBytes_.empty() && text == namedText_) return namedBytes_;
  return QFile::encodeName(text).toStdString();
}

void FormWindow::Form_Load() {
  form_->TextFilename = FileNameBytes();
  Run([this] { form_->Form_Load(); });
}

void FormWindow::CmdLoad_Click() {
  form_->TextFilename = FileNameBytes();
  Run([this] { form_->CmdLoad_Click(); });
}

void FormWindow::CmdDraw_Click() {
  // A failed Draw has put its reason into the message line; what it did so far stays.
  Run([this] { form_->CmdDraw_Click(); }, true);
}

void FormWindow::PicTarget_MouseDown(int button, int shift, float x, float y) {
  Run([&] { form_->PicTarget_MouseDown(button, shift, x, y); });
}

void FormWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;  // restored by the platform: keep the user's size
  toolkit_->ApplyWindowSize();
  // A window manager may add its frame only once the window is mapped.
  QTimer::singleShot(250, this, [this] {
    if (toolkit_->FrameChanged()) toolkit_->ApplyWindowSize();
  });
}

void FormWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    closeWaiting_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void FormWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!busy_ && !DraggedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void FormWindow::dropEvent(QDropEvent* event) {
  const QString file = DraggedFile(event->mimeData());
  if (busy_ || file.isEmpty()) return;
  event->acceptProposedAction();
  ShowFileName(file, DraggedFileBytes(event->mimeData()));
  CmdLoad_Click();
}

}  // namespace holescan
