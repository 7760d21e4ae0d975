// exports.h - what File > Export writes for a picture: every output of results::Outputs()
// with a suffix, today the point table (CSV) and the result document (JSON) of the command
// line, the annotated scan (PNG, drawn by the command line's --result writer) and a one-page
// report (PDF, whose picture that writer draws too); and one PDF of every open picture's
// report, a page each.
//
// Every file is written whole or not at all, and no output ever replaces a picture of the
// session: the names proposed carry "-shots" (NAME-shots.csv, .json, .png, .pdf), a name that
// is an open picture or its saved shots is refused (ExportClash), and the window asks before
// replacing any other file that is there (ExistingFiles). Shots added or moved by hand are
// marked: a column "edited" (TRUE/FALSE) after the point table's in the CSV, "edited": true in
// their JSON shots, their own colour in the pictures and "edited" in the report's table. The
// CSV's next two columns, from.aim.x and from.aim.y, are the table's millimetres (from the
// point of aim, right and up positive) beside the point table's (from the picture's corner, y
// down); the last, series, the shot's series (from 1).
#pragma once

#include <QDateTime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "results/outputs.h"
#include "review/document.h"

namespace holescan::review {

// BASE plus each exported output's suffix, in the table's order.
struct ExportPaths {
  struct File {
    const results::Output* output;
    std::string path;
  };
  std::vector<File> files;
  std::vector<std::string> All() const;
};
ExportPaths ExportPathsFor(const std::string& base);
// The outputs the export writes: those of the calibrated analysis with a suffix.
std::vector<const results::Output*> ExportedOutputs();
// Their suffixes as the window lists them: ".png, .json, .csv and .pdf".
std::string ExportSuffixes();

// The base proposed for a picture: FOLDER/NAME-shots, or NAME-shots-2, -3, ... when one of its
// files would be one of `open` (the session's pictures) or their saved shots.
std::string ProposedExportBase(const std::string& picture, const std::vector<std::string>& open);

// "refused: PATH is the open picture NAME" (or its saved shots) when an output would replace
// one of `open`; nullopt otherwise. The same file under another name (a link) counts.
std::optional<std::string> ExportClash(const ExportPaths& paths,
                                       const std::vector<std::string>& open);
// The outputs that exist already.
std::vector<std::string> ExistingFiles(const ExportPaths& paths);

// Each returns "cannot write PATH: reason" on failure.
std::optional<std::string> ExportCsv(const ReviewDocument& document, const std::string& path);
std::optional<std::string> ExportJson(const ReviewDocument& document, const std::string& path);
std::optional<std::string> ExportPng(const ReviewDocument& document, const std::string& path);
std::optional<std::string> ExportPdf(const ReviewDocument& document, const std::string& path,
                                     const QDateTime& when);

// One PDF holding the report of every document given, one page each in that order; the
// reason when it cannot be written ("cannot write PATH: reason"), or "export cancelled" when
// `progress` (0..1, per page made) says stop, with nothing written.
std::optional<std::string> ExportReports(const std::vector<const ReviewDocument*>& documents,
                                         const std::string& path, const QDateTime& when,
                                         const std::function<bool(double)>& progress = {});
// The name proposed for it, beside the first picture: FOLDER/NAME-all-shots.pdf, or
// NAME-all-shots-2.pdf, -3, ... when it would be one of `open` or their saved shots.
std::string ProposedReportsPath(const std::vector<std::string>& open);
// The paths of that one PDF, for ExportClash and ExistingFiles.
ExportPaths ReportsPaths(const std::string& path);

// The report's page as a picture at `dpi` (what the PDF holds, for looking at it); white
// without a picture.
// The report's line of settings under its title: calibre, resolution (and whether the face
// measured it), holes, face and distance.
QString ReportSettingsLine(const ReviewSettings& settings);
QImage ReportImage(const ReviewDocument& document, const QDateTime& when, int dpi);

// Every exported output; the reasons of those that failed. All are made first and written after, so
// `progress` (0..1, from the thread that exports; false cancels) stops it with nothing
// written and the one reason "export cancelled".
using ExportProgress = std::function<bool(double fraction)>;
std::vector<std::string> ExportAll(const ReviewDocument& document, const std::string& base,
                                   const QDateTime& when, const ExportProgress& progress = {});

}  // namespace holescan::review
