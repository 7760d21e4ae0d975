#include "review/shot_view.h"

#include <QFont>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QMouseEvent>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyleOptionGraphicsItem>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "review/overlay.h"
#include "review/picture_image.h"
#include "review/shot_table_model.h"
#include "shots/shots.h"

namespace holescan::review {

// Picture pixels per screen pixel, shared by the items so their lines keep a screen width.
struct ViewScale {
  double unit = 1;
  double diameter = 10;
};

namespace {

constexpr double kLinePx = 5;       // the dark line of a circle, screen pixels
constexpr double kCrossPx = 28;     // a cross mark at least this wide
constexpr double kLabelPx = 20;     // a sheet's bull numbers, screen pixels high
constexpr double kLabelCapPx = 11;  // a shot's number: a bold 15-pixel font's capitals
constexpr double kMinZoom = 1.0 / 64, kMaxZoom = 32;

// A scored shot's score as drawn beside it: the decimal ("10.4"), or the ring ("0") where the
// decimal is none.
QString ScoreText(const ReviewShot& shot) {
  if (!shot.score) return {};
  if (shot.score->tenths > 0) return QString::number(shot.score->decimal, 'f', 1);
  return QString::number(shot.score->score);
}

}  // namespace

class PictureItem : public QGraphicsItem {
 public:
  PictureItem(std::shared_ptr<const Picture> picture,
              std::shared_ptr<const std::vector<QImage>> levels)
      : picture_(std::move(picture)), levels_(std::move(levels)), full_(ImageOf(*picture_)) {
    setFlag(ItemUsesExtendedStyleOption);
  }
  QRectF boundingRect() const override {
    return QRectF(-0.5, -0.5, picture_->Width(), picture_->Height());
  }
  void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) override {
    const double scale = painter->worldTransform().m11();
    std::size_t level = 0;
    const std::size_t count = levels_ ? levels_->size() : 0;
    while (level < count && scale * static_cast<double>(2u << level) <= 1.0) ++level;
    const QImage& image = level == 0 ? full_ : (*levels_)[level - 1];
    const double factor = static_cast<double>(1u << level);
    const QRectF exposed = option->exposedRect.intersected(boundingRect());
    if (exposed.isEmpty()) return;
    const QRectF source((exposed.x() + 0.5) / factor, (exposed.y() + 0.5) / factor,
                        exposed.width() / factor, exposed.height() / factor);
    // Zoomed in, pixels show as squares; zoomed out, the copy is at most twice too fine.
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->drawImage(exposed, image, source);
  }

 private:
  std::shared_ptr<const Picture> picture_;
  std::shared_ptr<const std::vector<QImage>> levels_;
  QImage full_;
};

class ShotItem : public QGraphicsItem {
 public:
  // `number` is written in the shot's colour, `score` (when not empty) after it in white, so
  // "1" and "2.4" never read as "12.4".
  ShotItem(int index, bool edited, bool placed, const QString& number, const QString& score,
           std::shared_ptr<ViewScale> scale)
      : index_(index), edited_(edited), placed_(placed), scale_(std::move(scale)) {
    QFont font;
    font.setBold(true);
    font.setPixelSize(15);
    label_.addText(0, 0, font, number);
    if (!score.isEmpty()) score_.addText(label_.boundingRect().right() + 7, 0, font, score);
    labelWidth_ = label_.united(score_).boundingRect().right();
    setFlags(ItemIsSelectable | ItemIsMovable);
    setZValue(1);
    setCursor(Qt::SizeAllCursor);
  }
  int Index() const { return index_; }
  void ScaleChanged() { prepareGeometryChange(); }
  // The number's (and score's) box in screen pixels, and where its top left corner goes, in
  // picture pixels from the shot's centre (ShotView::PlaceLabels).
  QSizeF LabelSize() const { return {labelWidth_ + 2, kLabelCapPx}; }
  QPointF LabelAt() const { return labelAt_; }
  void SetLabelAt(QPointF at) {
    prepareGeometryChange();
    labelAt_ = at;
  }

  QRectF boundingRect() const override {
    // The number sits on any side of the circle.
    const double r =
        Radius() + Line() + scale_->unit + (std::max(labelWidth_, kLabelCapPx) + 8) * scale_->unit;
    return QRectF(-r, -r, 2 * r, 2 * r);
  }
  QPainterPath shape() const override {
    QPainterPath path;
    const double r = std::max(Radius(), 6 * scale_->unit);
    path.addEllipse(QPointF(0, 0), r, r);
    return path;
  }
  void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
    painter->setRenderHint(QPainter::Antialiasing);
    const QColor colour = isSelected() ? kSelectedColour : edited_ ? kEditedColour : kFoundColour;
    if (isSelected()) {
      QColor fill = kSelectedColour;
      fill.setAlpha(70);
      painter->setPen(Qt::NoPen);
      painter->setBrush(fill);
      painter->drawEllipse(QPointF(0, 0), Radius(), Radius());
    }
    QPainterPath circle;
    circle.addEllipse(QPointF(0, 0), Radius(), Radius());
    if (placed_ && !edited_) {
      // Placed for the count, not seen: a dashed circle, so the shooter checks it.
      QPen pen(colour, 1.5 * Line(), Qt::DashLine);
      painter->setPen(pen);
      painter->setBrush(Qt::NoBrush);
      painter->drawPath(circle);
    } else {
      StrokeTwoTone(*painter, circle, colour, Line());
    }
    // The number drawn once into a small picture per colour and then copied at screen scale:
    // stroking glyph outlines at every repaint is most of what a zoomed-out repaint costs.
    if (labelColour_ != colour || labelImage_.isNull()) {
      const QRectF bounds = label_.united(score_).boundingRect().adjusted(-3, -3, 3, 3);
      labelImage_ =
          QImage(bounds.size().toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
      labelImage_.fill(Qt::transparent);
      QPainter label(&labelImage_);
      label.setRenderHint(QPainter::Antialiasing);
      label.translate(-bounds.topLeft());
      DrawHaloPath(label, label_, colour, 3.75);
      if (!score_.isEmpty()) DrawHaloPath(label, score_, kScoreColour, 3.75);
      labelOrigin_ = bounds.topLeft();
      labelColour_ = colour;
    }
    painter->save();
    painter->translate(labelAt_.x(), labelAt_.y() + kLabelCapPx * scale_->unit);
    painter->scale(scale_->unit, scale_->unit);
    painter->drawImage(labelOrigin_, labelImage_);
    painter->restore();
  }

 private:
  double Radius() const { return scale_->diameter / 2; }
  double Line() const { return kLinePx * scale_->unit; }

  int index_;
  bool edited_;
  bool placed_;
  QPainterPath label_;  // the number, in screen pixels
  QPainterPath score_;  // the score after it, or empty
  double labelWidth_ = 0;
  QPointF labelAt_;  // the label's top left from the centre, picture pixels
  QImage labelImage_;
  QPointF labelOrigin_;
  QColor labelColour_;
  std::shared_ptr<ViewScale> scale_;
};

class MarkItem : public QGraphicsItem {
 public:
  // `label` (a sheet's bull number) is written with its baseline starting at `labelAt`
  // (picture pixels from the cross; above right of the cross when not given).
  MarkItem(QColor colour, std::shared_ptr<ViewScale> scale, QString label = {},
           std::optional<QPointF> labelAt = std::nullopt)
      : colour_(std::move(colour)),
        scale_(std::move(scale)),
        label_(std::move(label)),
        labelAt_(labelAt) {
    setZValue(2);
    setAcceptedMouseButtons(Qt::NoButton);
  }
  void ScaleChanged() { prepareGeometryChange(); }
  QRectF boundingRect() const override {
    const double half = Size() / 2 + kLinePx * scale_->unit;
    const QRectF cross(-half, -half, 2 * half, 2 * half);
    if (label_.isEmpty()) return cross;
    const double halo = kLinePx * scale_->unit;
    return cross.united(LabelPath().boundingRect().adjusted(-halo, -halo, halo, halo));
  }
  void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
    painter->setRenderHint(QPainter::Antialiasing);
    StrokeTwoTone(*painter, CrossPath({0, 0}, Size()), colour_, kLinePx * scale_->unit);
    if (!label_.isEmpty()) DrawHaloPath(*painter, LabelPath(), colour_, 3 * scale_->unit);
  }

 private:
  double Size() const { return std::max(scale_->diameter * 1.5, kCrossPx * scale_->unit); }
  QPainterPath LabelPath() const {
    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(kLabelPx * scale_->unit))));
    QPainterPath path;
    path.addText(labelAt_.value_or(QPointF(Size() / 2, -Size() / 2)), font, label_);
    return path;
  }
  QColor colour_;
  std::shared_ptr<ViewScale> scale_;
  QString label_;
  std::optional<QPointF> labelAt_;
};

ShotView::ShotView(QWidget* parent) : QGraphicsView(parent), scale_(std::make_shared<ViewScale>()) {
  // A few hundred items whose sizes change with every zoom: no index to keep up to date.
  scene_.setItemIndexMethod(QGraphicsScene::NoIndex);
  setScene(&scene_);
  setDragMode(ScrollHandDrag);
  setTransformationAnchor(NoAnchor);
  setResizeAnchor(AnchorViewCenter);
  setViewportUpdateMode(SmartViewportUpdate);
  setBackgroundBrush(QColor(96, 96, 96));
  setFocusPolicy(Qt::StrongFocus);
  connect(&scene_, &QGraphicsScene::selectionChanged, this, [this] {
    if (!rebuilding_) TakeSelection();
  });
}

ShotView::~ShotView() {
  // The scene deletes its items after this body: what it says of their selection then is
  // no longer the user's.
  rebuilding_ = true;
  shots_.clear();
  for (const auto& connection : connections_) disconnect(connection);
  for (const auto& connection : modelConnections_) disconnect(connection);
}

void ShotView::SetModel(ShotTableModel* model, QItemSelectionModel* selection) {
  for (const auto& connection : modelConnections_) disconnect(connection);
  modelConnections_.clear();
  model_ = model;
  selection_ = selection;
  if (model_) {
    modelConnections_.push_back(connect(model_, &QAbstractItemModel::modelReset, this,
                                        [this] { SetDocument(model_->Document()); }));
    modelConnections_.push_back(connect(model_, &ShotTableModel::synced, this, &ShotView::Rebuild));
  }
  if (selection_)
    modelConnections_.push_back(
        connect(selection_, &QItemSelectionModel::selectionChanged, this, [this] {
          if (taking_) return;
          ShowSelection();
          const std::vector<int> rows = SelectedShots();
          if (rows.size() == 1 && static_cast<std::size_t>(rows.front()) < shots_.size())
            ensureVisible(shots_[static_cast<std::size_t>(rows.front())], 40, 40);
        }));
  SetDocument(model_ ? model_->Document() : nullptr);
}

void ShotView::ShowSelection() {
  const std::vector<int> rows = SelectedShots();
  rebuilding_ = true;
  for (ShotItem* item : shots_)
    item->setSelected(std::binary_search(rows.begin(), rows.end(), item->Index()));
  rebuilding_ = false;
}

void ShotView::TakeSelection() {
  if (!selection_) return;
  std::vector<int> rows;
  for (const ShotItem* item : shots_)
    if (item->isSelected()) rows.push_back(item->Index());
  taking_ = true;
  SelectRows(*selection_, rows);
  taking_ = false;
}

void ShotView::SetDocument(ReviewDocument* document) {
  for (const auto& connection : connections_) disconnect(connection);
  connections_.clear();
  document_ = document;
  if (document_) {
    connections_.push_back(
        connect(document_, &ReviewDocument::stateChanged, this, &ShotView::PictureChanged));
    connections_.push_back(connect(document_, &QObject::destroyed, this, [this] {
      document_ = nullptr;
      PictureChanged();
    }));
  }
  PictureChanged();
}

void ShotView::PictureChanged() {
  const Picture* now =
      document_ && document_->PictureData() ? document_->PictureData().get() : nullptr;
  if (now == shownPicture_ && (picture_ != nullptr) == (now != nullptr)) {
    Rebuild();
    return;
  }
  shownPicture_ = now;
  rebuilding_ = true;
  shots_.clear();
  bulls_.clear();
  aim_ = centre_ = nullptr;
  scene_.clear();
  picture_ = nullptr;
  rebuilding_ = false;
  if (now) {
    picture_ = new PictureItem(document_->PictureData(), document_->Levels());
    scene_.addItem(picture_);
    scene_.setSceneRect(picture_->boundingRect());
    fit_ = true;
    FitToWindow();
  } else {
    scene_.setSceneRect(QRectF());
  }
  Rebuild();
}

void ShotView::Rebuild() {
  rebuilding_ = true;
  for (ShotItem* item : shots_) delete item;
  shots_.clear();
  delete aim_;
  delete centre_;
  aim_ = centre_ = nullptr;
  for (MarkItem* item : bulls_) delete item;
  bulls_.clear();
  if (document_ && picture_ && model_) {
    scale_->diameter = HoleDiameterPx(document_->Settings());
    const std::vector<ReviewShot>& shots = model_->Shots();
    for (std::size_t i = 0; i < shots.size(); ++i) {
      const QString number = QString::number(calibrated::ShotNumber(shots[i], i));
      const QString score = scoresShown_ ? ScoreText(shots[i]) : QString();
      auto* item = new ShotItem(static_cast<int>(i), shots[i].edited, shots[i].placed, number,
                                score, scale_);
      item->setPos(shots[i].x, shots[i].y);
      scene_.addItem(item);
      shots_.push_back(item);
    }
    PlaceLabels();
    // A sheet: each bull's aim with its number, in place of the one aim.
    for (const calibrated::Bull& bull : document_->Result().bulls) {
      // The number at the black's upper left corner, clear of the shots about the centre.
      auto* item = new MarkItem(kAimColour, scale_, QString::number(bull.number),
                                QPointF(-bull.radiusPx, -bull.radiusPx));
      item->setPos(bull.x, bull.y);
      scene_.addItem(item);
      bulls_.push_back(item);
    }
    if (const auto& aim = document_->Aim(); aim && bulls_.empty()) {
      aim_ = new MarkItem(kAimColour, scale_);
      aim_->setPos(aim->x, aim->y);
      scene_.addItem(aim_);
    }
    // On a sheet the shots' mean lies between bulls, no group's centre: not drawn.
    if (const auto centre = GroupCentrePx(*document_); centre && bulls_.empty()) {
      centre_ = new MarkItem(kCentreColour, scale_);
      centre_->setPos(*centre);
      scene_.addItem(centre_);
    }
  }
  rebuilding_ = false;
  ShowSelection();
}

void ShotView::SetScoresShown(bool shown) {
  if (shown == scoresShown_) return;
  scoresShown_ = shown;
  Rebuild();
}

std::vector<int> ShotView::SelectedShots() const {
  return selection_ ? SelectedRows(*selection_) : std::vector<int>{};
}

void ShotView::SelectShots(const std::vector<int>& indices) {
  if (selection_) SelectRows(*selection_, indices);
}

double ShotView::Zoom() const {
  return transform().m11();
}

QPoint ShotView::ViewportPoint(const QPointF& picturePoint) const {
  return mapFromScene(picturePoint);
}

void ShotView::ZoomBy(double factor, std::optional<QPoint> anchor) {
  const double zoom = std::clamp(Zoom() * factor, kMinZoom, kMaxZoom);
  fit_ = false;
  // The anchor is kept by hand: the view's own anchor follows mouse moves only, which a wheel
  // turned without moving the mouse (or a test) does not give.
  const QPoint at = anchor.value_or(viewport()->rect().center());
  const QPointF fixed = mapToScene(at);
  setTransform(QTransform::fromScale(zoom, zoom));
  const QPoint moved = mapFromScene(fixed) - at;
  horizontalScrollBar()->setValue(horizontalScrollBar()->value() + moved.x());
  verticalScrollBar()->setValue(verticalScrollBar()->value() + moved.y());
  ScaleChanged();
}

void ShotView::FitToWindow() {
  fit_ = true;
  if (!picture_) return;
  fitInView(picture_->boundingRect(), Qt::KeepAspectRatio);
  ScaleChanged();
}

void ShotView::ActualSize() {
  fit_ = false;
  setTransform(QTransform());
  ScaleChanged();
}

void ShotView::ScaleChanged() {
  // The items' sizes follow the unit: the scene must hear of it before it changes.
  for (ShotItem* item : shots_) item->ScaleChanged();
  if (aim_) aim_->ScaleChanged();
  for (MarkItem* item : bulls_) item->ScaleChanged();
  if (centre_) centre_->ScaleChanged();
  scale_->unit = 1 / std::max(Zoom(), 1e-6);
  PlaceLabels();
  viewport()->update();
}

void ShotView::PlaceLabels() {
  if (shots_.empty() || !picture_) return;
  const double unit = scale_->unit;
  // Each circle as drawn: its line and a little air outside the hole. The picture's area
  // starts half a pixel left of and above pixel (0, 0)'s centre.
  const double drawn = scale_->diameter + 2 * (kLinePx + 2) * unit;
  std::vector<shots::Shot> circles;
  std::vector<std::pair<double, double>> sizes;
  for (const ShotItem* item : shots_) {
    circles.push_back(shots::Shot{item->pos().x() + 0.5, item->pos().y() + 0.5, drawn});
    const QSizeF size = item->LabelSize() * unit;
    sizes.emplace_back(size.width(), size.height());
  }
  const QRectF area = picture_->boundingRect();
  const std::vector<shots::LabelBox> boxes =
      shots::PlaceLabels(circles, sizes, static_cast<int>(std::lround(area.width())),
                         static_cast<int>(std::lround(area.height())));
  for (std::size_t i = 0; i < shots_.size() && i < boxes.size(); ++i)
    shots_[i]->SetLabelAt(QPointF(boxes[i].left - circles[i].x, boxes[i].top - circles[i].y));
}

std::vector<QRectF> ShotView::LabelBoxes() const {
  std::vector<QRectF> out;
  for (const ShotItem* item : shots_)
    out.emplace_back(item->pos() + item->LabelAt(), item->LabelSize() * scale_->unit);
  return out;
}

void ShotView::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps == 0) return;
  ZoomBy(std::pow(1.25, steps), event->position().toPoint());
  event->accept();
}

void ShotView::mousePressEvent(QMouseEvent* event) {
  consumedPress_ = false;
  if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier)) {
    consumedPress_ = true;
    if (picture_ && picture_->boundingRect().contains(mapToScene(event->position().toPoint())))
      emit addRequested(mapToScene(event->position().toPoint()));
    event->accept();
    return;
  }
  if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier)) {
    consumedPress_ = true;
    for (QGraphicsItem* item : items(event->position().toPoint())) {
      if (auto* shot = dynamic_cast<ShotItem*>(item)) {
        shot->setSelected(!shot->isSelected());
        break;
      }
    }
    event->accept();
    return;
  }
  QGraphicsView::mousePressEvent(event);
}

void ShotView::mouseReleaseEvent(QMouseEvent* event) {
  // The view takes a release after a press on bare paper for a click that clears the
  // selection; after a Ctrl+click or Shift+click it would undo what the press did.
  if (std::exchange(consumedPress_, false) && event->button() == Qt::LeftButton) {
    event->accept();
    return;
  }
  QGraphicsView::mouseReleaseEvent(event);
  if (!model_ || event->button() != Qt::LeftButton) return;
  std::vector<std::pair<int, ReviewShot>> moves;
  const std::vector<ReviewShot>& shots = model_->Shots();
  for (const ShotItem* item : shots_) {
    const std::size_t i = static_cast<std::size_t>(item->Index());
    if (i >= shots.size()) continue;
    const QPointF at = item->pos();
    if (at.x() != shots[i].x || at.y() != shots[i].y)
      moves.push_back({item->Index(), {at.x(), at.y(), true}});
  }
  if (!moves.empty()) emit moveRequested(moves);
}

void ShotView::resizeEvent(QResizeEvent* event) {
  QGraphicsView::resizeEvent(event);
  if (fit_) FitToWindow();
}

}  // namespace holescan::review
