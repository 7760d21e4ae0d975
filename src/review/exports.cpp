#include "review/exports.h"

#include <sys/stat.h>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "io/json_writer.h"
#include "io/output_file.h"
#include "io/qt/png_encode.h"
#include "results/calibrated_report.h"
#include "results/csv.h"
#include "results/result_picture.h"
#include "review/numbers.h"
#include "review/overlay.h"
#include "review/picture_image.h"
#include "review/report_panels.h"
#include "review/shots_file.h"

namespace holescan::review {

namespace {

std::optional<std::string> WriteWhole(const std::string& path, std::string_view bytes) {
  OutputFile out(path, OutputFile::Devices::Refuse);
  if (!out.IsOpen()) return out.OpenError();
  out.Write(bytes);
  return out.Commit();
}

std::string FileName(const ReviewDocument& document) {
  return QFileInfo(QString::fromLocal8Bit(document.Path())).fileName().toStdString();
}

results::PictureRecord RecordOf(const ReviewDocument& document) {
  return {document.Path(), nullptr, &document.Result()};
}

// The report on an A4 page whose device has `dpi` pixels per inch.
void PaintReport(QPainter& painter, const ReviewDocument& document, const QDateTime& when,
                 int dpi) {
  const auto& picture = document.PictureData();
  const auto mm = [dpi](double value) { return value * dpi / 25.4; };
  const double left = mm(15), width = mm(180);
  double y = mm(15);

  QFont title;
  title.setPointSizeF(14);
  title.setBold(true);
  QFont text;
  text.setPointSizeF(9);
  painter.setFont(title);
  painter.drawText(QRectF(left, y, width, mm(8)), Qt::AlignLeft | Qt::AlignVCenter,
                   document.Name());
  painter.setFont(text);
  painter.drawText(QRectF(left, y, width, mm(8)), Qt::AlignRight | Qt::AlignVCenter,
                   QLocale::c().toString(when, QStringLiteral("yyyy-MM-dd HH:mm")));
  y += mm(9);
  const QString line = ReportSettingsLine(document.Settings());
  painter.drawText(QRectF(left, y, width, mm(6)), Qt::AlignLeft | Qt::AlignVCenter, line);
  y += mm(6);
  // Who, where and when, and the note, wrapped, when given.
  const ReportInfo& info = document.Info();
  QStringList who;
  if (!info.shooter.empty())
    who << QStringLiteral("shooter ") + QString::fromStdString(info.shooter);
  if (!info.event.empty()) who << QStringLiteral("event ") + QString::fromStdString(info.event);
  if (!info.date.empty()) who << QStringLiteral("date ") + QString::fromStdString(info.date);
  if (!info.note.empty()) who << QString::fromStdString(info.note);
  if (!who.isEmpty()) {
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    const QRectF box(left, y, width, mm(20));
    const QString text = who.join(QStringLiteral(", "));
    const QRectF used = painter.boundingRect(box, flags, text);
    painter.drawText(box, flags, text);
    y += used.height();
  }
  y += mm(2);

  // The annotated scan on the left, its legend under it; on the right the face drawn to scale
  // with the shots on it and a close-up of the group (or a sheet's bulls and the close-up of
  // each bull's group, in a wider column), drawn from the numbers. The band is as tall as the
  // statistics under it leave room for, at most 140 mm.
  const std::vector<StatLine> stats = StatLines(document);
  const double rowH = mm(4.2);
  double labelW = mm(20);
  for (const StatLine& stat : stats)
    labelW = std::max(
        labelW,
        painter.boundingRect(QRectF(0, 0, mm(60), rowH), Qt::AlignLeft, stat.label).width() +
            mm(2));
  const double valueW = mm(88) - labelW;
  const int wrap = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
  double statsH = 0;
  for (const StatLine& stat : stats)
    statsH += std::max(
        rowH, painter.boundingRect(QRectF(0, 0, valueW, mm(40)), wrap, stat.value).height() +
                  mm(0.6));
  const double bottom = mm(297 - 12);
  const double bandH = std::clamp(bottom - y - mm(5) - statsH, mm(90), mm(140));
  const results::CalibratedRecord record = RecordOf(document).Calibrated();
  const std::vector<shots::LegendEntry> legend = results::ResultLegend(record);
  const ReportBand band =
      LayOutBand(document, QRectF(left, y, width, bandH),
                 QSizeF(picture->Width(), picture->Height()), static_cast<int>(legend.size()),
                 mm(1));
  // The scan at the page's resolution, annotated there by the one writer of the result picture
  // (figures and lines sized for the page, whatever the scan's resolution).
  QImage page = ImageOf(*picture).scaled(band.scan.size().toSize(), Qt::IgnoreAspectRatio,
                                         Qt::SmoothTransformation);
  if (page.format() != QImage::Format_RGB32) page = page.convertToFormat(QImage::Format_RGB32);
  if (!page.isNull()) {
    const PictureView view{page.width(), page.height(), page.bytesPerLine() / 4,
                           reinterpret_cast<const std::uint32_t*>(page.constBits())};
    const Picture annotated = results::ResultPicture(
        view, record, static_cast<double>(page.width()) / picture->Width(), false);
    painter.drawImage(band.scan, ImageOf(annotated));
  }
  PaintLegend(painter, legend, band.legend, mm(1));
  PaintDrawings(painter, band.drawings, mm(1));
  painter.setFont(text);
  y = band.bottom + mm(5);

  // Statistics on the left, wrapped where a value is long (sizes with MOA and mrad, a note),
  // never cut; the shots in columns on the right.
  double sy = y;
  for (const StatLine& stat : stats) {
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    const QRectF box(left + labelW, sy, valueW, mm(40));
    const QRectF used = painter.boundingRect(box, flags, stat.value);
    painter.drawText(QRectF(left, sy, labelW, rowH), Qt::AlignLeft | Qt::AlignTop, stat.label);
    painter.drawText(box, flags, stat.value);
    sy += std::max(rowH, used.height() + mm(0.6));
  }
  const std::vector<ShotRow> rows = ShotRows(document);
  const double tableLeft = left + labelW + valueW + mm(4), tableW = width - (tableLeft - left);
  const int perColumn = std::max(1, static_cast<int>((bottom - y) / rowH) - 1);
  const int columns =
      std::max(1, static_cast<int>(std::ceil(static_cast<double>(rows.size()) / perColumn)));
  const double columnW = tableW / columns;
  // The window's columns (a sheet's bull among them), each its share of a table's width; a
  // sheet's wider row is narrowed to fit, its text with it.
  const bool sheet = IsSheet(document);
  std::vector<ShotColumn> printed;
  std::vector<QString> heads;
  double shares = 0;
  printed = ReportColumns(rows, sheet);
  for (const ShotColumn& column : printed) {
    heads.push_back(QCoreApplication::translate("holescan::review::Numbers", column.title));
    shares += column.width;
  }
  shares = std::max(1.0, shares);
  const double fit = std::min(1.0, columnW / (mm(98) * shares));
  QFont small = text;
  small.setPointSizeF(9 * std::max(0.45, fit));
  painter.setFont(small);
  for (int c = 0; c < columns; ++c) {
    double cx = tableLeft + c * columnW;
    const double rh = std::min(rowH, (bottom - y) / (perColumn + 1));
    for (std::size_t k = 0; k < printed.size(); ++k) {
      const double w = columnW * printed[k].width / shares;
      painter.drawText(QRectF(cx, y, w, rh), Qt::AlignLeft | Qt::AlignVCenter, heads[k]);
      cx += w;
    }
    for (int r = 0; r < perColumn; ++r) {
      const std::size_t index = static_cast<std::size_t>(c * perColumn + r);
      if (index >= rows.size()) break;
      const ShotRow& row = rows[index];
      cx = tableLeft + c * columnW;
      for (const ShotColumn& column : printed) {
        const double w = columnW * column.width / shares;
        painter.drawText(QRectF(cx, y + (r + 1) * rh, w, rh), Qt::AlignLeft | Qt::AlignVCenter,
                         row.*column.text);
        cx += w;
      }
    }
  }
}

}  // namespace

std::vector<const results::Output*> ExportedOutputs() {
  std::vector<const results::Output*> outputs;
  for (const results::Output& output : results::Outputs())
    if (!output.suffix.empty() && output.Of(results::Analysis::Calibrated))
      outputs.push_back(&output);
  return outputs;
}

std::string ExportSuffixes() {
  const std::vector<const results::Output*> outputs = ExportedOutputs();
  std::string text;
  for (std::size_t i = 0; i < outputs.size(); ++i)
    text += (i == 0                    ? ""
             : i + 1 == outputs.size() ? " and "
                                       : ", ") +
            std::string(outputs[i]->suffix);
  return text;
}

std::vector<std::string> ExportPaths::All() const {
  std::vector<std::string> paths;
  for (const File& file : files) paths.push_back(file.path);
  return paths;
}

ExportPaths ExportPathsFor(const std::string& base) {
  ExportPaths paths;
  for (const results::Output* output : ExportedOutputs())
    paths.files.push_back({output, base + std::string(output->suffix)});
  return paths;
}

namespace {

// The same file: the same device and inode, for files that exist.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool SamePath(const std::string& a, const std::string& b) {
  const QString ca = QDir::cleanPath(QFileInfo(QString::fromLocal8Bit(a)).absoluteFilePath());
  const QString cb = QDir::cleanPath(QFileInfo(QString::fromLocal8Bit(b)).absoluteFilePath());
  return ca == cb || SameFile(a, b);
}

}  // namespace

std::optional<std::string> ExportClash(const ExportPaths& paths,
                                       const std::vector<std::string>& open) {
  for (const std::string& out : paths.All()) {
    for (const std::string& picture : open) {
      const std::string name = QFileInfo(QString::fromLocal8Bit(picture)).fileName().toStdString();
      if (SamePath(out, picture)) return "refused: " + out + " is the open picture " + name;
      if (SamePath(out, ShotsFilePath(picture)))
        return "refused: " + out + " holds the saved shots of " + name;
    }
  }
  return std::nullopt;
}

std::string ProposedExportBase(const std::string& picture, const std::vector<std::string>& open) {
  const QFileInfo info(QString::fromLocal8Bit(picture));
  const std::string stem =
      QFile::encodeName(info.dir().filePath(info.completeBaseName() + QStringLiteral("-shots")))
          .toStdString();
  std::string base = stem;
  for (int n = 2; ExportClash(ExportPathsFor(base), open) && n < 1000; ++n)
    base = stem + "-" + std::to_string(n);
  return base;
}

std::vector<std::string> ExistingFiles(const ExportPaths& paths) {
  std::vector<std::string> existing;
  for (const std::string& out : paths.All()) {
    struct stat status {};
    if (::lstat(out.c_str(), &status) == 0) existing.push_back(out);
  }
  return existing;
}

namespace {

// A file's bytes, or why they could not be made ("cannot write PATH: reason").
struct Made {
  std::string bytes;
  std::optional<std::string> problem;
};

// The point table names the picture by its file name; the table's columns follow its own.
results::WriteContext ContextOf(const ReviewDocument& document, const std::string& fileName) {
  results::WriteContext context;
  context.columns = {true, true, document.Settings().seriesShots};
  context.tableName = fileName;
  return context;
}

Made MakeText(const results::Output& output, const ReviewDocument& document) {
  const std::string name = FileName(document);
  return {results::PartText(output, RecordOf(document), ContextOf(document, name)), {}};
}

Made MakePng(const results::Output& output, const ReviewDocument& document,
             const std::string& path) {
  const auto& picture = document.PictureData();
  if (!picture) return {{}, "cannot write " + path + ": the picture is not open"};
  const Picture image = output.picture(picture->View(), RecordOf(document), 1);
  // The project's fast encoder (libdeflate, level 1): Qt's took twenty seconds on a 600-ppi
  // letter page. The file records the picture's resolution.
  const int perMetre = static_cast<int>(std::lround(document.Settings().dpi / 0.0254));
  Made made;
  EncodePng(image.View(), perMetre, perMetre,
            [&](std::string_view bytes) { made.bytes.append(bytes); });
  return made;
}

// The reports of the documents, a page each, as one PDF; false from `progress` stops it.
Made MakePdf(const std::vector<const ReviewDocument*>& documents, const std::string& path,
             const QDateTime& when, const std::function<bool(double)>& progress = {}) {
  for (const ReviewDocument* document : documents)
    if (!document->PictureData())
      return {{}, "cannot write " + path + ": " + document->Name().toStdString() + " is not open"};
  if (documents.empty()) return {{}, "cannot write " + path + ": no picture to print"};
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&buffer);
    constexpr int kDpi = 300;
    pdf.setResolution(kDpi);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(documents.size() == 1 ? documents.front()->Name()
                                       : QStringLiteral("%1 pictures").arg(documents.size()));
    pdf.setCreator(QStringLiteral("holescan-review"));
    QPainter painter(&pdf);
    for (std::size_t i = 0; i < documents.size(); ++i) {
      if (progress && !progress(static_cast<double>(i) / static_cast<double>(documents.size()))) {
        painter.end();
        return {{}, "export cancelled"};
      }
      if (i > 0) pdf.newPage();
      PaintReport(painter, *documents[i], when, kDpi);
    }
  }
  return {bytes.toStdString(), {}};
}

Made MakePdf(const ReviewDocument& document, const std::string& path, const QDateTime& when) {
  return MakePdf(std::vector<const ReviewDocument*>{&document}, path, when);
}

std::optional<std::string> Write(const Made& made, const std::string& path) {
  if (made.problem) return made.problem;
  return WriteWhole(path, made.bytes);
}

}  // namespace

namespace {

// The output's file for the document, made whole in memory.
Made MakeOutput(const results::Output& output, const ReviewDocument& document,
                const std::string& path, const QDateTime& when) {
  if (output.text != nullptr) return MakeText(output, document);
  if (output.picture != nullptr) return MakePng(output, document, path);
  if (output.name == "pdf") return MakePdf(document, path, when);
  return {{}, "cannot write " + path + ": the review does not make " + std::string(output.name)};
}

}  // namespace

std::optional<std::string> ExportCsv(const ReviewDocument& document, const std::string& path) {
  return Write(MakeText(results::OutputNamed("csv"), document), path);
}

std::optional<std::string> ExportJson(const ReviewDocument& document, const std::string& path) {
  return Write(MakeText(results::OutputNamed("json"), document), path);
}

std::optional<std::string> ExportPng(const ReviewDocument& document, const std::string& path) {
  return Write(MakePng(results::OutputNamed("result"), document, path), path);
}

std::optional<std::string> ExportPdf(const ReviewDocument& document, const std::string& path,
                                     const QDateTime& when) {
  return Write(MakePdf(document, path, when), path);
}

std::optional<std::string> ExportReports(const std::vector<const ReviewDocument*>& documents,
                                         const std::string& path, const QDateTime& when,
                                         const std::function<bool(double)>& progress) {
  const Made made = MakePdf(documents, path, when, progress);
  if (made.problem) return made.problem;
  if (progress && !progress(0.95)) return "export cancelled";
  auto problem = WriteWhole(path, made.bytes);
  if (progress) progress(1);
  return problem;
}

ExportPaths ReportsPaths(const std::string& path) {
  ExportPaths paths;
  paths.files.push_back({&results::OutputNamed("pdf"), path});
  return paths;
}

std::string ProposedReportsPath(const std::vector<std::string>& open) {
  if (open.empty()) return "all-shots.pdf";
  const QFileInfo info(QString::fromLocal8Bit(open.front()));
  const std::string stem =
      QFile::encodeName(info.dir().filePath(info.completeBaseName() + QStringLiteral("-all-shots")))
          .toStdString();
  std::string path = stem + ".pdf";
  for (int n = 2; ExportClash(ReportsPaths(path), open) && n < 1000; ++n)
    path = stem + "-" + std::to_string(n) + ".pdf";
  return path;
}

QString ReportSettingsLine(const ReviewSettings& settings) {
  const score::Face* face = FaceOf(settings);
  QString line = QStringLiteral("calibre %1, %2, holes %3")
                     .arg(QString::fromStdString(CalibreText(settings.calibreMm)))
                     .arg(ResolutionText(settings.dpi) +
                          (settings.dpiSource == calibrated::ResolutionSource::Face
                               ? QStringLiteral(" (measured on the face)")
                               : QString()))
                     .arg(QString::fromUtf8(shots::HoleLookName(settings.look)));
  if (face)
    line += QStringLiteral(", face ") +
            QString::fromUtf8(face->title.data(), static_cast<qsizetype>(face->title.size()));
  if (!settings.distance.empty())
    line += QStringLiteral(", distance ") + QString::fromStdString(settings.distance);
  return line;
}

QImage ReportImage(const ReviewDocument& document, const QDateTime& when, int dpi) {
  const QSizeF a4 = QPageSize(QPageSize::A4).size(QPageSize::Millimeter);
  QImage page(static_cast<int>(a4.width() * dpi / 25.4), static_cast<int>(a4.height() * dpi / 25.4),
              QImage::Format_RGB32);
  page.fill(Qt::white);
  page.setDotsPerMeterX(static_cast<int>(dpi / 0.0254));
  page.setDotsPerMeterY(static_cast<int>(dpi / 0.0254));
  if (document.PictureData()) {
    QPainter painter(&page);
    PaintReport(painter, document, when, dpi);
  }
  return page;
}

std::vector<std::string> ExportAll(const ReviewDocument& document, const std::string& base,
                                   const QDateTime& when, const ExportProgress& progress) {
  const ExportPaths paths = ExportPathsFor(base);
  const auto go_on = [&](double fraction) { return !progress || progress(fraction); };
  std::vector<Made> made;
  made.reserve(paths.files.size());
  for (std::size_t i = 0; i < paths.files.size(); ++i) {
    if (!go_on(0.9 * static_cast<double>(i) / static_cast<double>(paths.files.size())))
      return {"export cancelled"};
    made.push_back(MakeOutput(*paths.files[i].output, document, paths.files[i].path, when));
  }
  if (!go_on(0.9)) return {"export cancelled"};
  std::vector<std::string> problems;
  for (std::size_t i = 0; i < made.size(); ++i)
    if (auto problem = Write(made[i], paths.files[i].path)) problems.push_back(*problem);
  go_on(1);
  return problems;
}

}  // namespace holescan::review
