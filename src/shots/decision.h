// decision.h - whether a proposal is a shot, and where the shot's centre is: a learned decision.
//
// Two small convolutional networks, trained apart (tools/train/train_holes.py, generated
// pictures only) and joined into one model that answers with their mean
// (tools/train/ensemble.py; models/holes.onnx, built into the program), look at two views of
// the working picture about a point: 2.5 hole diameters at the working scale, and 5 diameters
// reduced to the same 40 x 40 pixels, for the print around it. Each view is brought to zero mean
// and unit spread (a floor of 8 grey levels keeps faint paper faint). The model gives a logit
// (shot or not) and the offset from the point to the shot's centre, in hole diameters.
//
// A first look screens the proposals of a whole picture: a network of a tenth the cost on the
// same views (models/screen.onnx, made by tools/train/train_screen.py from the same generated
// pictures), taught the decision's own first answer: it lets through all but about one in 200
// of the proposals the decision would look at again (judged at least twice the shot threshold
// less one). What it sets aside, most of the print and grain of a page, the decision does not
// judge. A new decision model, or a new threshold, needs the first look taught again.
//
// Run with OpenCV's dnn module on the CPU, in batches; one network of each per thread.
#pragma once

#include <span>
#include <vector>

#include <opencv2/core.hpp>

namespace holescan::shots {

// The network's side of a view, and the side of the wide view before it is reduced.
inline constexpr int kPatch = 40;
inline constexpr int kContext = 80;

struct Judgement {
  double probability = 0;  // that a shot's centre lies within 0.4 diameters of the point
  double dx = 0, dy = 0;   // from the point to that centre, in working pixels
};

// The two views of each point of `work` (CV_8UC3), normalised, as an N x 6 x 40 x 40 blob.
cv::Mat PatchBlob(const cv::Mat& work, std::span<const cv::Point2d> points);

// The network's judgement of each point of a working picture whose holes are `diameter`
// working pixels across (the network was taught at kWorkDiameter). `bothWays`: the views and
// their mirror images are judged, and the two answers averaged (a hole has no handedness,
// print mostly has; it costs a second run of the network).
// `screened`: the first look sees each point before the network does, and a point it sets
// aside is judged not a shot (probability 0, no offset) without the network.
std::vector<Judgement> Judge(const cv::Mat& work, std::span<const cv::Point2d> points,
                             double diameter, bool bothWays = false, bool screened = false);

// The first look's probability that each row of a PatchBlob could be a shot, and the least
// one it lets through.
std::vector<double> Screen(const cv::Mat& blob);
double ScreenThreshold();

// The probability at which a judgement is a shot, chosen on generated pictures when the model
// was trained.
double ShotThreshold();

// A place the network calls a shot must show something: a tenth of its disc at least this many
// grey levels from the paper around it. All but about one in 130 of the lone generated holes
// the decision learned from do (the rest: faint holes in dark print, or blurred away), and blank
// paper with a faint dent or shadow does not. The network sees every patch stretched to the
// same contrast, where a dent of a few grey levels can look like a hole.
constexpr double kLeastStandout = 12;
// The paper's grain lifts the tenth of a disc that Standout reads by about 1.28 of its spread
// (the 90th percentile of a normal spread): that much of what it reads is the grain's, not the
// hole's, and is asked for on top of kLeastStandout. Without it a dent 11 levels deep in paper
// with a grain of 1.5 reads 13 and passes.
constexpr double kGrainLift = 1.28;

// A disc of the hole's size at (u, v) of a working picture against the ring 0.75-1.25
// diameters around it, on the grey level (R+G+B)/3: positive when lighter.
double DiscAgainstRing(const cv::Mat& work, double u, double v, double diameter);

// How far a hole of the calibre at (u, v) of a working picture stands out from the paper
// around it: the grey level difference that one pixel in ten of its disc (radius 0.625
// diameter) passes, from the median of the ring 0.75-1.25 diameters about it. Grey levels
// (R+G+B)/3.
double Standout(const cv::Mat& work, double u, double v, double diameter);

}  // namespace holescan::shots
