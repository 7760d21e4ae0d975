// shot_view.h - the scan with its shots, zoomed and panned, where shots are selected, added
// (Ctrl+click), and moved (drag).
//
// A QGraphicsView whose scene is in picture pixels (pixel (i, j)'s centre at (i, j)). The scan
// is one item that draws from the smallest halved copy still at least as fine as the screen,
// and only the part exposed, so a repaint of a 600-ppi page costs about the same at any zoom.
// Shots are items of the calibre's size with lines and numbers of a fixed screen size, so
// they stay visible zoomed out and readable zoomed in. Each shot is labelled with its own
// number (the table's), and with its score when scores are shown. The point of aim is a cross; on a
// sheet of several bulls each bull's aim is one, with the bull's number.
//
// Mouse: the wheel zooms about the cursor; dragging the paper pans; dragging a shot moves it;
// a click selects a shot, Shift+click adds it to the selection or takes it out; Ctrl+click
// asks for a shot there (addRequested).
//
// The view shows the shot table model's rows and its selection is that model's selection
// model, the one the table view has too: it draws the rows again when the model says they
// changed, and what is selected here is selected there.
#pragma once

#include <QGraphicsView>
#include <QItemSelectionModel>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "review/document.h"

namespace holescan::review {

class PictureItem;
class ShotTableModel;
class ShotItem;
class MarkItem;
struct ViewScale;

class ShotView : public QGraphicsView {
  Q_OBJECT

 public:
  explicit ShotView(QWidget* parent = nullptr);
  ~ShotView() override;

  // The shots to show and whose selection to share (null: none). The picture is the model's
  // document's; the view fits it when it changes.
  void SetModel(ShotTableModel* model, QItemSelectionModel* selection);

  // The selection model's rows; setting them scrolls a single shot into view.
  std::vector<int> SelectedShots() const;
  void SelectShots(const std::vector<int>& indices);

  // Each scored shot's score beside its number (off at first); nothing for shots not scored.
  void SetScoresShown(bool shown);
  bool ScoresShown() const { return scoresShown_; }

  // About the viewport point `anchor` (the viewport's centre when absent).
  void ZoomBy(double factor, std::optional<QPoint> anchor = std::nullopt);
  void FitToWindow();
  void ActualSize();
  // Screen pixels per picture pixel.
  double Zoom() const;
  // Where a picture point lies in the viewport, for tests and the window's messages.
  QPoint ViewportPoint(const QPointF& picturePoint) const;
  // Each shot's number's box, in picture pixels, for tests: beside its circle, clear of the
  // other shots' circles and numbers where there is room.
  std::vector<QRectF> LabelBoxes() const;

 signals:
  void addRequested(QPointF picturePoint);
  void moveRequested(std::vector<std::pair<int, holescan::review::ReviewShot>> moves);

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SetDocument(ReviewDocument* document);
  void Rebuild();
  void PictureChanged();
  void ScaleChanged();
  // Each shot's number where it hides no other shot nor number (shots::PlaceLabels), again
  // whenever the zoom changes: numbers keep their screen size, circles their picture size.
  void PlaceLabels();
  // The selection model's rows onto the shots drawn, and the shots picked here onto it.
  void ShowSelection();
  void TakeSelection();

  QGraphicsScene scene_;
  QPointer<ShotTableModel> model_;
  QPointer<QItemSelectionModel> selection_;
  ReviewDocument* document_ = nullptr;
  const Picture* shownPicture_ = nullptr;
  PictureItem* picture_ = nullptr;
  std::vector<ShotItem*> shots_;
  MarkItem* aim_ = nullptr;
  MarkItem* centre_ = nullptr;
  std::vector<MarkItem*> bulls_;  // a sheet's bulls, numbered
  std::shared_ptr<ViewScale> scale_;
  bool fit_ = true;
  bool scoresShown_ = false;
  // While the shots' selected flags are set from the selection model, the scene's news of
  // them is not news.
  bool rebuilding_ = false;
  // While the scene's selection goes to the selection model, it need not come back.
  bool taking_ = false;
  bool consumedPress_ = false;
  std::vector<QMetaObject::Connection> connections_, modelConnections_;
};

}  // namespace holescan::review
