// exports.h - what File > Export writes for a picture: the point table (CSV) and the result
// document (JSON) of the command line, the annotated scan (PNG) and a one-page report (PDF).
//
// Every file is written whole or not at all. Shots added or moved by hand are marked: an
// extra last column "edited" (TRUE/FALSE) in the CSV, "edited": true in their JSON shots, their own
// colour in the pictures and "edited" in the report's table.
#pragma once

#include <QDateTime>
#include <optional>
#include <string>
#include <vector>

#include "review/document.h"

namespace holescan::review {

// BASE.csv, BASE.json, BASE.png, BASE.pdf.
struct ExportPaths {
  std::string csv, json, png, pdf;
};
ExportPaths ExportPathsFor(const std::string& base);

// Each returns "cannot write PATH: reason" on failure.
std::optional<std::string> ExportCsv(const ReviewDocument& document, const std::string& path);
std::optional<std::string> ExportJson(const ReviewDocument& document, const std::string& path);
std::optional<std::string> ExportPng(const ReviewDocument& document, const std::string& path);
std::optional<std::string> ExportPdf(const ReviewDocument& document, const std::string& path,
                                     const QDateTime& when);

// The report's page as a picture at `dpi` (what the PDF holds, for looking at it); white
// without a picture.
QImage ReportImage(const ReviewDocument& document, const QDateTime& when, int dpi);

// All four; the reasons of those that failed.
std::vector<std::string> ExportAll(const ReviewDocument& document, const std::string& base,
                                   const QDateTime& when);

}  // namespace holescan::review
