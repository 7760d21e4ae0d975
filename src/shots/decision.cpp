#include "shots/decision.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

// The models' bytes, built into the program (model.S).
extern "C" const unsigned char holescan_holes_model[];
extern "C" const unsigned char holescan_holes_model_end[];
extern "C" const unsigned char holescan_screen_model[];
extern "C" const unsigned char holescan_screen_model_end[];

namespace holescan::shots {
namespace {

constexpr int kBatch = 64;
// Each view's spread is taken as at least this many grey levels.
constexpr float kMinSpread = 8;

cv::dnn::Net Load(const unsigned char* begin, const unsigned char* end) {
  cv::dnn::Net loaded = cv::dnn::readNetFromONNX(reinterpret_cast<const char*>(begin),
                                                 static_cast<std::size_t>(end - begin));
  loaded.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
  loaded.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
  return loaded;
}

cv::dnn::Net& Network() {
  thread_local cv::dnn::Net net = Load(holescan_holes_model, holescan_holes_model_end);
  return net;
}

cv::dnn::Net& ScreenNetwork() {
  thread_local cv::dnn::Net net = Load(holescan_screen_model, holescan_screen_model_end);
  return net;
}

double Sigmoid(double logit) {
  return 1 / (1 + std::exp(-logit));
}

// The rows of a blob, in a blob of their own.
cv::Mat Rows(const cv::Mat& blob, const std::vector<int>& rows) {
  const int sizes[] = {static_cast<int>(rows.size()), blob.size[1], blob.size[2], blob.size[3]};
  cv::Mat out(4, sizes, CV_32F);
  const std::size_t bytes = blob.step[0];
  for (std::size_t i = 0; i < rows.size(); ++i)
    std::memcpy(out.ptr(static_cast<int>(i)), blob.ptr(rows[i]), bytes);
  return out;
}

}  // namespace

double ShotThreshold() {
  return HOLESCAN_SHOT_THRESHOLD;
}

double ScreenThreshold() {
  return HOLESCAN_SCREEN_THRESHOLD;
}

std::vector<double> Screen(const cv::Mat& blob) {
  std::vector<double> out;
  if (blob.size[0] == 0) return out;
  cv::dnn::Net& net = ScreenNetwork();
  net.setInput(blob);
  const cv::Mat result = net.forward();  // N x 1
  out.reserve(static_cast<std::size_t>(blob.size[0]));
  for (int i = 0; i < blob.size[0]; ++i) out.push_back(Sigmoid(result.ptr<float>(i)[0]));
  return out;
}

namespace {

// One row of a view: each byte the weighted sum of four neighbours, in 16-bit fixed point. The
// rows do not overlap, which lets the compiler work on many bytes at once.
void SampleRow(const std::uint8_t* __restrict upper, const std::uint8_t* __restrict lower,
               std::uint8_t* __restrict out, std::array<int, 4> w) {
  for (int k = 0; k < 3 * kContext; ++k) {
    const int sum = upper[k] * w[0] + upper[k + 3] * w[1] + lower[k] * w[2] + lower[k + 3] * w[3];
    out[k] = static_cast<std::uint8_t>((sum + (1 << 15)) >> 16);
  }
}

// The kContext-square view about `centre`, sampled exactly as cv::getRectSubPix samples it
// (bilinear weights in 16-bit fixed point, rounded), the view inside the picture without a call
// per view; a view that reaches past the picture's edge is left to getRectSubPix, which repeats
// the edge.
void SampleAround(const cv::Mat& work, cv::Point2f centre, cv::Mat& view) {
  constexpr float kHalf = (kContext - 1) * 0.5f;
  const float left = centre.x - kHalf;
  const float top = centre.y - kHalf;
  const int x0 = cvFloor(left);
  const int y0 = cvFloor(top);
  if (x0 < 0 || y0 < 0 || x0 + kContext >= work.cols || y0 + kContext >= work.rows) {
    cv::getRectSubPix(work, {kContext, kContext}, centre, view);
    return;
  }
  view.create(kContext, kContext, CV_8UC3);
  const float a = left - static_cast<float>(x0);
  const float b = top - static_cast<float>(y0);
  const int w11 = cvRound((1.f - a) * (1.f - b) * 65536);
  const int w12 = cvRound(a * (1.f - b) * 65536);
  const int w21 = cvRound((1.f - a) * b * 65536);
  const int w22 = cvRound(a * b * 65536);
  for (int y = 0; y < kContext; ++y) {
    SampleRow(work.ptr<std::uint8_t>(y0 + y) + 3 * x0, work.ptr<std::uint8_t>(y0 + y + 1) + 3 * x0,
              view.ptr<std::uint8_t>(y), {w11, w12, w21, w22});
  }
}

}  // namespace

cv::Mat PatchBlob(const cv::Mat& work, std::span<const cv::Point2d> points) {
  const int sizes[] = {static_cast<int>(points.size()), 6, kPatch, kPatch};
  cv::Mat blob(4, sizes, CV_32F);
  constexpr int kPlane = kPatch * kPatch;
  constexpr int kMargin = (kContext - kPatch) / 2;
  // The near view is the middle of the wide one, sampled at the same fractions of a pixel; the
  // wide one is halved as an area resize halves it (each pixel the rounded mean of four).
  // Each patch on its own, in parallel.
  cv::parallel_for_(cv::Range(0, static_cast<int>(points.size())), [&](const cv::Range& range) {
    cv::Mat wide;
    for (int i = range.start; i < range.end; ++i) {
      const auto& point = points[static_cast<std::size_t>(i)];
      SampleAround(work, {static_cast<float>(point.x), static_cast<float>(point.y)}, wide);
      float* out = blob.ptr<float>(i);
      // Whole grey levels: the sums are exact in integers, and quick.
      std::int64_t sum = 0, sum2 = 0;
      for (int y = 0; y < kPatch; ++y) {
        const std::uint8_t* row = wide.ptr<std::uint8_t>(kMargin + y) + 3 * kMargin;
        const std::uint8_t* top = wide.ptr<std::uint8_t>(2 * y);
        const std::uint8_t* bottom = wide.ptr<std::uint8_t>(2 * y + 1);
        for (int x = 0; x < kPatch; ++x) {
          for (int c = 0; c < 3; ++c) {
            const int k = 6 * x + c;
            const int v = row[3 * x + c];
            const int w = (top[k] + top[k + 3] + bottom[k] + bottom[k + 3] + 2) >> 2;
            out[c * kPlane + y * kPatch + x] = static_cast<float>(v);
            out[(3 + c) * kPlane + y * kPatch + x] = static_cast<float>(w);
            sum += v + w;
            sum2 += v * v + w * w;
          }
        }
      }
      const double n = 6.0 * kPlane;
      const double mean = static_cast<double>(sum) / n;
      const double spread = std::sqrt(std::max(0.0, static_cast<double>(sum2) / n - mean * mean));
      const auto scale = static_cast<float>(1 / std::max<double>(spread, kMinSpread));
      const auto offset = static_cast<float>(mean);
      for (int k = 0; k < 6 * kPlane; ++k) out[k] = (out[k] - offset) * scale;
    }
  });
  return blob;
}

std::vector<Judgement> Judge(const cv::Mat& work, std::span<const cv::Point2d> points,
                             double diameter, bool bothWays, bool screened) {
  std::vector<Judgement> out;
  out.reserve(points.size());
  cv::dnn::Net& net = Network();
  for (std::size_t start = 0; start < points.size(); start += kBatch) {
    const std::size_t count = std::min<std::size_t>(kBatch, points.size() - start);
    cv::Mat blob = PatchBlob(work, points.subspan(start, count));
    std::vector<int> rows;  // of the batch, those the network judges
    if (screened) {
      const std::vector<double> first = Screen(blob);
      for (std::size_t i = 0; i < count; ++i)
        if (first[i] >= ScreenThreshold()) rows.push_back(static_cast<int>(i));
    } else {
      for (std::size_t i = 0; i < count; ++i) rows.push_back(static_cast<int>(i));
    }
    const std::size_t firstOfBatch = out.size();
    out.resize(firstOfBatch + count);  // the points set aside: not shots
    if (rows.empty()) continue;
    if (rows.size() < count) blob = Rows(blob, rows);
    const int judged = static_cast<int>(rows.size());
    net.setInput(blob);
    const cv::Mat result = net.forward().clone();  // N x 3
    cv::Mat mirror;
    if (bothWays) {
      // Every row of every view reversed: the mirror images' views, already normalised (a
      // mirror image has the same mean and spread).
      cv::Mat flipped;
      cv::flip(blob.reshape(1, judged * 6 * kPatch), flipped, 1);
      net.setInput(flipped.reshape(1, {judged, 6, kPatch, kPatch}));
      mirror = net.forward();
    }
    for (int i = 0; i < judged; ++i) {
      const float* r = result.ptr<float>(i);
      double logit = r[0], dx = r[1], dy = r[2];
      if (bothWays) {  // the mirror image's answer, mirrored back, averaged in
        const float* m = mirror.ptr<float>(i);
        logit = (logit + m[0]) / 2;
        dx = (dx - m[1]) / 2;
        dy = (dy + m[2]) / 2;
      }
      out[firstOfBatch + static_cast<std::size_t>(rows[static_cast<std::size_t>(i)])] = {
          Sigmoid(logit), dx * diameter, dy * diameter};
    }
  }
  return out;
}

namespace {

// The grey levels (R+G+B)/3 of the working pixels within `inner` of (u, v), and of those
// 0.75 to 1.25 diameters from it: a hole's disc and the paper around it.
void DiscAndRing(const cv::Mat& work, double u, double v, double diameter, double inner,
                 std::vector<double>& disc, std::vector<double>& ring) {
  const double ringIn = 0.75 * diameter;
  const double ringOut = 1.25 * diameter;
  const int x0 = std::max(0, static_cast<int>(std::floor(u - ringOut)));
  const int x1 = std::min(work.cols - 1, static_cast<int>(std::ceil(u + ringOut)));
  const int y0 = std::max(0, static_cast<int>(std::floor(v - ringOut)));
  const int y1 = std::min(work.rows - 1, static_cast<int>(std::ceil(v + ringOut)));
  for (int y = y0; y <= y1; ++y) {
    const auto* row = work.ptr<std::uint8_t>(y);
    for (int x = x0; x <= x1; ++x) {
      const double r = std::hypot(x - u, y - v);
      const double grey = (row[3 * x] + row[3 * x + 1] + row[3 * x + 2]) / 3.0;
      if (r <= inner) {
        disc.push_back(grey);
      } else if (r >= ringIn && r <= ringOut) {
        ring.push_back(grey);
      }
    }
  }
}

double Mean(const std::vector<double>& values) {
  double sum = 0;
  for (const double v : values) sum += v;
  return sum / static_cast<double>(values.size());
}

}  // namespace

double DiscAgainstRing(const cv::Mat& work, double u, double v, double diameter) {
  std::vector<double> disc, ring;
  DiscAndRing(work, u, v, diameter, 0.5 * diameter, disc, ring);
  if (disc.empty() || ring.empty()) return 0;
  return Mean(disc) - Mean(ring);
}

double Standout(const cv::Mat& work, double u, double v, double diameter) {
  std::vector<double> disc, ring;
  DiscAndRing(work, u, v, diameter, 0.625 * diameter, disc, ring);
  if (disc.empty() || ring.empty()) return 0;
  const auto middle = ring.begin() + static_cast<std::ptrdiff_t>(ring.size() / 2);
  std::nth_element(ring.begin(), middle, ring.end());
  const double paper = *middle;
  for (double& g : disc) g = std::abs(g - paper);
  const auto tenth = disc.begin() + static_cast<std::ptrdiff_t>(disc.size() * 9 / 10);
  std::nth_element(disc.begin(), tenth, disc.end());
  return *tenth;
}

}  // namespace holescan::shots
