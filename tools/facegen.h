// facegen.h - synthetic scans of printed target faces, with the true point of aim and shots.
//
// MakeFace draws a face of the score module's table (or with `sheet`, every bull of the sheet
// it is printed on, at the sheet's places) at a given resolution: off-white card,
// the scoring rings as thin lines, the black aiming mark with the rings that lie inside it
// as white lines (a white dot for a ten that is a dot), optionally the ring numbers, and shot
// holes of the calibre at given positions, plus random ones, some of them cutting the black's
// edge. A hole shows the backing behind the card: light (a white sheet) or dark. On top come
// optionally a lighting ramp, grain, a scanner's blur and the 8 x 8 block quantisation of JPEG
// (on brightness).
//
// Edges are anti-aliased by their exact coverage of each pixel's square along the radius, so
// the true centre of every circle is known to far below a pixel. Coordinates are those the
// analyses report: pixel (i, j)'s centre is the point (i, j). Positions in millimetres are
// from the face's centre, x to the right and y downwards, as on the picture.
//
// Everything is deterministic from FaceOptions::seed (splitmix64, no std distributions).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "pixel/picture.h"
#include "score/faces.h"
#include "shots/shots.h"

namespace holescan::facegen {

// How a hole shows: the analysis's own looks (Dark or Light here, never Auto).
using HoleLook = shots::HoleLook;

struct ShotMark {
  double xMm = 0, yMm = 0;  // from the face's centre, x right, y down
  HoleLook look = HoleLook::Light;
  int bull = 0;  // on a sheet: the index of the bull in the face's sheet (Face::sheet)
};

struct FaceOptions {
  const score::Face* face = nullptr;  // required
  double dpi = 300;
  std::uint32_t seed = 1;
  double calibreMm = 4.5;
  std::vector<ShotMark> shots;  // drawn as given
  int edgeShots = 0;            // random shots whose hole cuts the black's edge
  int scatterShots = 0;         // random shots anywhere within the lowest scoring ring
  bool darkEdgeShots = false;   // random shots dark instead of light
  int backingGrey = -1;         // 0..255: every hole shows this grey backing, whatever its look
  bool numbers = true;          // ring numbers on the four axes
  double marginMm = 10;         // card around the lowest scoring ring
  double offsetMm = 3;          // the face's centre moves at random by up to this from the middle
  double lidMm = 0;             // a dark scanner lid showing this far all round the card
  double noise = 0;             // grain: standard deviation in grey levels
  double ramp = 0;              // lighting falls by this fraction across the card (0..0.5)
  int blur = 0;                 // box blur radius in pixels (0..3)
  int jpegQuality = 0;          // 1..100 for block quantisation; 0 for none
  bool sheet = false;           // every bull of the face's sheet (Face::sheet), not one face
  // A photograph at an angle: the card seen tilted by tiltDeg (0..60) about the axis across
  // the direction tiltAxisDeg (0 along x, 90 along y), from far away (distances along that
  // direction shortened by the tilt's cosine about the first bull's centre). Ring figures
  // stay upright.
  double tiltDeg = 0;
  double tiltAxisDeg = 0;
};

struct FaceTarget {
  Picture picture;
  double aimX = 0, aimY = 0;  // the face's centre in pixels
  struct Shot {
    double x, y;  // pixels
    HoleLook look;
  };
  std::vector<Shot> shots;  // given ones first, then edge shots, then scattered ones
  // On a sheet, every bull's centre in pixels, in the order of Face::sheet (aimX, aimY is
  // the first); random shots are then around the first bull.
  struct Centre {
    double x, y;
  };
  std::vector<Centre> bulls;
};

// Throws std::invalid_argument for options out of range (no face, dpi outside 50..1200,
// calibre outside 2..12 mm, negative counts, a picture over 16000 pixels a side, and so on).
FaceTarget MakeFace(const FaceOptions& options);

// The generators' BMP writer (bmp_file.h): WriteBmp(picture, path, dpi).
using tools::WriteBmp;

#ifdef HOLESCAN_FACEGEN_PNG
// Writes a PNG that records the resolution (pHYs; none for dpi 0), 8-bit grey when every pixel is
// grey, else RGB, each row with the filter that suits it and compressed hard (libdeflate level 12):
// the small files of the bundled samples. False when the file cannot be written.
bool WritePng(const Picture& picture, double dpi, const std::string& path);
#endif

}  // namespace holescan::facegen
