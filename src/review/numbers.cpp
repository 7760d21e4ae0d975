#include "review/numbers.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <iterator>

namespace holescan::review {

namespace {

QString Tr(const char* text) {
  return QCoreApplication::translate("holescan::review::Numbers", text);
}

QString Mm(double value) {
  // A value that rounds to zero is "0.00", never "-0.00".
  return QString::number(std::abs(value) < 0.005 ? 0.0 : value, 'f', 2);
}

QString Decimal(double value) {
  return QString::number(value, 'f', 1);
}

// "12.34 mm", and "(1.23 MOA, 0.36 mrad)" at a distance.
QString Size(double mm, const std::optional<score::Distance>& distance) {
  QString text = Mm(mm) + QStringLiteral(" mm");
  if (distance)
    text += QStringLiteral("  (%1 MOA, %2 mrad)")
                .arg(QString::number(score::Moa(mm, *distance), 'f', 2),
                     QString::number(score::Mrad(mm, *distance), 'f', 2));
  return text;
}

// The numbers of shots first..last, runs of consecutive ones as a range: "1-3, 5, 4, 6-10".
QString NumbersText(const std::vector<ReviewShot>& shots, std::size_t first, std::size_t last) {
  QStringList runs;
  for (std::size_t i = first; i <= last;) {
    const int from = calibrated::ShotNumber(shots[i], i);
    std::size_t end = i;
    while (end < last && calibrated::ShotNumber(shots[end + 1], end + 1) ==
                             calibrated::ShotNumber(shots[end], end) + 1)
      ++end;
    const int to = calibrated::ShotNumber(shots[end], end);
    runs << (end == i ? QString::number(from) : QStringLiteral("%1-%2").arg(from).arg(to));
    i = end + 1;
  }
  return runs.join(QStringLiteral(", "));
}

}  // namespace

QString ResolutionText(double dpi) {
  const bool whole = std::abs(dpi - std::round(dpi)) < 0.05;
  return QString::number(dpi, 'f', whole ? 0 : 1) + QStringLiteral(" ppi");
}

std::span<const ShotColumn> ShotTableColumns(bool sheet) {
  // The report's shares add up to about 1 for a single face, so the printed table, series'
  // columns and all, keeps nearly the type size it had without them.
  static constexpr ShotColumn kColumns[] = {
      {QT_TRANSLATE_NOOP("holescan::review::Numbers", "#"), &ShotRow::number, true, 0.06},
      {QT_TRANSLATE_NOOP("holescan::review::Numbers", "bull"), &ShotRow::bull, false, 0.2,
       false, true},
      {QT_TRANSLATE_NOOP("holescan::review::Numbers", "x mm"), &ShotRow::x, true, 0.14},
      {QT_TRANSLATE_NOOP("holescan::review::Numbers", "y mm"), &ShotRow::y, true, 0.14},
      {QT_TRANSLATE_NOOP("holescan::review::Numbers", "score"), &ShotRow::score, true, 0.11,
       true},
      {QT_TRANSLATE_NOOP("holescan::review::Numbers", "decimal"), &ShotRow::decimal, true, 0.15,
       true},
      {QT_TRANSLATE_NOOP("holescan::review::Numbers", "series"), &ShotRow::series, true, 0.13},
      {QT_TRANSLATE_NOOP("holescan::review::Numbers", "subtotal"), &ShotRow::subtotal, true, 0.19,
       true},
      {QT_TRANSLATE_NOOP("holescan::review::Numbers", "edited"), &ShotRow::edited, false, 0.13},
  };
  static_assert(std::size(kColumns) == kEditedColumn + 2);
  static const std::vector<ShotColumn> kSingle = [] {
    std::vector<ShotColumn> single;
    for (const ShotColumn& column : kColumns)
      if (!column.sheetOnly) single.push_back(column);
    return single;
  }();
  if (sheet) return kColumns;
  return kSingle;
}

std::vector<ShotColumn> ReportColumns(std::span<const ShotRow> rows, bool sheet) {
  std::vector<ShotColumn> printed;
  for (const ShotColumn& column : ShotTableColumns(sheet)) {
    const bool filled =
        rows.empty() ? !column.scoredOnly
                     : std::any_of(rows.begin(), rows.end(), [&column](const ShotRow& row) {
                         return !(row.*column.text).isEmpty();
                       });
    if (filled) printed.push_back(column);
  }
  return printed;
}

bool IsSheet(const ReviewDocument& document) {
  return !document.Result().bulls.empty();
}

QStringList ShotColumns(bool sheet) {
  QStringList titles;
  for (const ShotColumn& column : ShotTableColumns(sheet)) titles << Tr(column.title);
  return titles;
}

std::vector<SeriesTotal> SeriesTotals(const ReviewDocument& document) {
  const int length = document.Settings().seriesShots;
  const auto& shots = document.Shots();
  std::vector<SeriesTotal> series;
  if (length <= 0 || shots.size() <= static_cast<std::size_t>(length)) return series;
  const auto n = static_cast<std::size_t>(length);
  for (std::size_t first = 0; first < shots.size(); first += n) {
    SeriesTotal total{first, std::min(shots.size(), first + n) - 1};
    for (std::size_t i = first; i <= total.last; ++i)
      if (shots[i].score) {
        total.score += shots[i].score->score;
        total.tenths += shots[i].score->tenths;
      }
    series.push_back(total);
  }
  return series;
}

std::size_t SeriesOfRow(const ReviewDocument& document, std::size_t row) {
  const int length = document.Settings().seriesShots;
  return length > 0 ? row / static_cast<std::size_t>(length) : 0;
}

std::vector<ShotRow> ShotRows(const ReviewDocument& document) {
  const auto& shots = document.Shots();
  const auto& bulls = document.Result().bulls;
  const bool scored = document.Result().total.has_value();
  const std::vector<SeriesTotal> series = SeriesTotals(document);
  std::vector<ShotRow> rows;
  rows.reserve(shots.size());
  for (std::size_t i = 0; i < shots.size(); ++i) {
    const ReviewShot& shot = shots[i];
    ShotRow row{QString::number(calibrated::ShotNumber(shot, i)),
                Mm(shot.xMm),
                Mm(shot.yMm),
                {},
                {},
                shot.edited   ? Tr("edited")
                : shot.placed ? Tr("placed")
                              : QString(),
                {},
                {},
                {}};
    if (shot.score) {
      row.score = QString::number(shot.score->score) + (shot.score->innerTen ? "*" : "");
      row.decimal = Decimal(shot.score->decimal);
    }
    if (!bulls.empty()) {
      const auto bull = static_cast<std::size_t>(shot.sheetBull);
      if (bull == 0 || bull > bulls.size())
        row.bull = Tr("off");
      else if (bulls[bull - 1].sighter)
        row.bull = Tr("%1 (sighter)").arg(bulls[bull - 1].number);
      else
        row.bull = QString::number(bulls[bull - 1].number);
    }
    if (!series.empty()) {
      const std::size_t k = SeriesOfRow(document, i);
      row.series = QString::number(k + 1);
      if (scored && k < series.size() && series[k].last == i)
        row.subtotal = QStringLiteral("%1 (%2)")
                           .arg(series[k].score)
                           .arg(Decimal(series[k].tenths / 10.0));
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<StatLine> StatLines(const ReviewDocument& document) {
  const calibrated::CalibratedResult& result = document.Result();
  const score::GroupStats& group = result.group;
  const auto distance = document.Distance();
  std::vector<StatLine> lines;
  int edited = 0;
  for (const ReviewShot& shot : document.Shots()) edited += shot.edited ? 1 : 0;
  lines.push_back({Tr("Shots"), edited ? Tr("%1 (%2 edited)").arg(group.count).arg(edited)
                                       : QString::number(group.count)});
  int placed = 0;
  for (const ReviewShot& shot : document.Shots()) placed += shot.placed ? 1 : 0;
  if (placed > 0)
    lines.push_back({Tr("Placed"), Tr("%1 not seen, placed in the group's torn area").arg(placed)});
  if (const auto differs = calibrated::CountDiffers(result))
    lines.push_back(
        {Tr("Count"),
         Tr("expected %1, found %2: check the target").arg(differs->expected).arg(differs->found)});
  if (result.total)
    lines.push_back({Tr("Total"), Tr("%1 (%2), %3 inner tens")
                                      .arg(result.total->score)
                                      .arg(Decimal(result.total->decimal))
                                      .arg(result.total->innerTens)});
  // A sheet: each bull after the sheet's total, in reading order.
  for (const calibrated::Bull& bull : result.bulls) {
    const auto count = static_cast<int>(bull.shots.size());
    QString value = count == 1 ? Tr("1 shot") : Tr("%1 shots").arg(count);
    if (bull.total)
      value += Tr(", %1 (%2)").arg(bull.total->score).arg(Decimal(bull.total->decimal));
    if (bull.sighter) value += Tr(", sighter");
    if (const auto differs = calibrated::CountDiffers(result, bull))
      value += Tr(", expected %1").arg(differs->expected);
    lines.push_back({Tr("Bull %1").arg(bull.number), value});
  }
  // Series subtotals, the shots taken in their order in the table, when there is more than one.
  if (result.total) {
    const std::vector<SeriesTotal> series = SeriesTotals(document);
    for (std::size_t k = 0; k < series.size(); ++k)
      lines.push_back({Tr("Series %1").arg(k + 1),
                       Tr("%1 (%2), shots %3")
                           .arg(series[k].score)
                           .arg(Decimal(series[k].tenths / 10.0))
                           .arg(NumbersText(document.Shots(), series[k].first, series[k].last))});
  }
  lines.push_back({Tr("Point of aim"), result.aim.source == score::AimSource::Face
                                           ? Tr("the face's black")
                                           : Tr("the group's centre")});
  // A face photographed at an angle: the shots are measured on it rectified.
  if (result.faceMeasure && result.faceMeasure->stretch != 1)
    lines.push_back({Tr("Photographed"),
                     Tr("%1\u00b0 from square-on, rectified from the black's ellipse")
                         .arg(result.faceMeasure->tiltDeg, 0, 'f', 1)});
  // A face chosen whose black was not found: the reason, not a silent fallback.
  if (!result.black.warning.empty())
    lines.push_back({Tr("Note"), QString::fromStdString(result.black.warning)});
  if (group.count == 0) return lines;
  lines.push_back({Tr("Group centre"), Tr("%1, %2 mm").arg(Mm(group.centreX), Mm(group.centreY))});
  lines.push_back({Tr("Extreme spread"), Size(group.extremeSpread, distance)});
  lines.push_back({Tr("Edge to edge"), Size(group.extremeSpreadEdge, distance)});
  lines.push_back({Tr("Mean radius"), Size(group.meanRadius, distance)});
  lines.push_back({Tr("SD x, y"), Tr("%1, %2 mm").arg(Mm(group.sdX), Mm(group.sdY))});
  lines.push_back({Tr("CEP50"), Size(group.cep50, distance)});
  lines.push_back({Tr("Largest radius"), Size(group.maxRadius, distance)});
  return lines;
}

QString ListEntry(const ReviewDocument& document) {
  const QString name = document.Name();
  switch (document.State()) {
    case Stage::Loading:
      return Tr("%1: opening").arg(name);
    case Stage::Failed:
      return Tr("%1: %2").arg(name, QString::fromStdString(document.Problem()));
    case Stage::Analysing:
      return Tr("%1: analysing").arg(name);
    case Stage::Ready:
      break;
  }
  if (document.Settings().dpi == 0) return Tr("%1: resolution unknown").arg(name);
  const calibrated::CalibratedResult& result = document.Result();
  QString entry = Tr("%1: %2 shots").arg(name).arg(result.group.count);
  if (const auto differs = calibrated::CountDiffers(result))
    entry += Tr(" (expected %1)").arg(differs->expected);
  if (result.total)
    entry += Tr(", %1 (%2)").arg(result.total->score).arg(Decimal(result.total->decimal));
  if (document.Modified()) entry += QStringLiteral(" *");
  return entry;
}

}  // namespace holescan::review
