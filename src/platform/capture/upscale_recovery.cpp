#include "platform/capture/upscale_recovery.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

namespace platform::capture {

namespace {

// Refinement passes over the device pixels whose surroundings changed; pictures smoothed the way
// this expects settle in a few.
constexpr int kMaxPasses = 8;
// Rounds of those passes, each followed by moves of two pixels at once where one alone is stuck.
constexpr int kMaxRounds = 4;
// How far one refinement may move a pixel's value.
constexpr int kMaxStep = 3;

// A device pixel's weights in the 4 x 4 picture pixels it feeds, row by row.
constexpr int kWeights[16] = {1, 3, 3, 1, 3, 9, 9, 3, 3, 9, 9, 3, 1, 3, 3, 1};

// How far a model sum (16 times a picture value) lies outside the range that truncates to the
// value seen.
inline int Miss(int sum, int seen) {
    const int low = seen * 16;
    return sum < low ? low - sum : sum > low + 15 ? sum - low - 15 : 0;
}

// The inverse of the 3:1 / 1:3 blend along one direction: device pixel i of n from the picture's
// values at(X). Inside, both neighbouring pairs of picture pixels give it, averaged:
// (3 o[2i] + 3 o[2i+1] - o[2i-1] - o[2i+2]) / 4; at the ends only the inner pair counts.
template <typename At>
inline float Inverse(const At& at, int i, int n) {
    if (i == 0) return 1.5f * at(1) - 0.5f * at(2);
    if (i == n - 1) return 1.5f * at(2 * n - 2) - 0.5f * at(2 * n - 3);
    return 0.75f * (at(2 * i) + at(2 * i + 1)) - 0.25f * (at(2 * i - 1) + at(2 * i + 2));
}

// Where picture column (or row) X takes its two device pixels from, and their weights out of 4;
// a device pixel beyond the output weighs 0.
struct Tap {
    int first;
    int weightFirst, weightSecond;
};

std::vector<Tap> Taps(int n) {
    std::vector<Tap> taps(std::size_t(2 * n));
    for (int x = 0; x < 2 * n; ++x) {
        const int first = (x - 1) >> 1;
        const int a = (x & 1) ? 3 : 1;
        if (first < 0)
            taps[x] = {0, 4 - a, 0};
        else
            taps[x] = {first, a, first + 1 < n ? 4 - a : 0};
    }
    return taps;
}

class Channel {
  public:
    Channel(int width, int height)
        : width_(width),
          height_(height),
          w2_(2 * width),
          h2_(2 * height),
          tapsX_(Taps(width)),
          tapsY_(Taps(height)),
          seen_(std::size_t(w2_) * h2_),
          sum_(std::size_t(w2_) * h2_),
          half_(std::size_t(width) * h2_),
          dirty_(std::size_t(width) * height),
          next_(std::size_t(width) * height),
          value_(std::size_t(width) * height) {}

    // Recovers channel `shift` (0, 8 or 16) of the area, and says how well smoothing the result
    // up again gives the inner picture pixels.
    Recovery Recover(const Picture& shot, int left, int top, int shift) {
        for (int y = 0; y < h2_; ++y) {
            const uint32_t* in = shot.Row(top + y) + left;
            uint8_t* out = &seen_[std::size_t(y) * w2_];
            for (int x = 0; x < w2_; ++x) out[x] = uint8_t(in[x] >> shift);
        }
        Estimate();
        SeenOnTheRing();
        Sums();
        // Far more pixels out of step than a few rounding slips: a picture this cannot explain
        // (another filter) or content too busy to settle; not worth the time.
        const std::size_t pixels = std::size_t(width_) * height_;
        if (FirstLook() > pixels / 3) return Recovery::kNone;
        budget_ = pixels / 2;
        exhausted_ = false;
        for (int round = 0;; ++round) {
            for (int pass = 0; pass < kMaxPasses && Refine(); ++pass) {
            }
            if (exhausted_) return Recovery::kNone;
            const std::size_t misses = Misses();
            if (misses == 0) return Recovery::kExact;
            if (round == kMaxRounds || misses > pixels / 256 || !MovePairs()) break;
        }
        if (exhausted_) return Recovery::kNone;
        // Busy content (antialiased text) has look-alikes that truncation cannot
        // tell apart, and spots where this search stays stuck. Taken when few, each within one
        // level of its picture pixel; another filter leaves more, and far off at every edge.
        std::size_t misses = 0;
        for (int y = 1; y < h2_ - 1; ++y) {
            for (int x = 1; x < w2_ - 1; ++x) {
                const int miss = Miss(sum_[Index(x, y)], seen_[Index(x, y)]);
                if (miss > 16) return Recovery::kNone;
                misses += miss != 0;
            }
        }
        return misses <= pixels / 16 ? Recovery::kWithinOneLevel : Recovery::kNone;
    }

    uint8_t Value(int x, int y) const { return value_[std::size_t(y) * width_ + x]; }

  private:
    std::size_t Index(int x, int y) const { return std::size_t(y) * w2_ + x; }
    bool Ring(int x, int y) const { return x == 0 || y == 0 || x == w2_ - 1 || y == h2_ - 1; }

    // The first estimate: the blend's inverse across, then down, from the inner picture pixels.
    // Truncation leaves the values seen 15/32 low on average; the inverse's weights add up to 1,
    // so that is added once.
    void Estimate() {
        for (int y = 1; y < h2_ - 1; ++y) {
            const uint8_t* row = &seen_[Index(0, y)];
            float* out = &half_[std::size_t(y) * width_];
            const auto at = [row](int x) { return float(row[x]); };
            for (int i = 0; i < width_; ++i) out[i] = Inverse(at, i, width_);
        }
        for (int j = 0; j < height_; ++j) {
            uint8_t* out = &value_[std::size_t(j) * width_];
            for (int i = 0; i < width_; ++i) {
                const auto at = [this, i](int y) { return half_[std::size_t(y) * width_ + i]; };
                const float v = Inverse(at, j, height_) + 15.0f / 32.0f;
                out[i] = uint8_t(std::clamp(v, 0.0f, 255.0f) + 0.5f);
            }
        }
    }

    // The outermost ring of the area blends the output with nothing beyond it: its colour was
    // divided by the coverage (12/16 on the sides, 9/16 in the corners) when the picture was
    // stored. Multiplied back, it is the truncated sum of the output's share alone.
    void SeenOnTheRing() {
        for (int y = 0; y < h2_; ++y) {
            for (int x = 0; x < w2_; x += (y == 0 || y == h2_ - 1) ? 1 : w2_ - 1) {
                const Tap& tx = tapsX_[x];
                const Tap& ty = tapsY_[y];
                const int cover =
                    (tx.weightFirst + tx.weightSecond) * (ty.weightFirst + ty.weightSecond);
                const int alpha = 255 * cover / 16;
                uint8_t& seen = seen_[Index(x, y)];
                seen = uint8_t(std::min((seen * alpha + 254) / 255, alpha));
            }
        }
    }

    int Sum(int x, int y) const {
        const Tap& tx = tapsX_[x];
        const Tap& ty = tapsY_[y];
        const uint8_t* a = &value_[std::size_t(ty.first) * width_ + tx.first];
        const int second = ty.weightSecond ? width_ : 0;
        const int right = tx.weightSecond ? 1 : 0;
        return ty.weightFirst * (tx.weightFirst * a[0] + tx.weightSecond * a[right]) +
               ty.weightSecond * (tx.weightFirst * a[second] + tx.weightSecond * a[second + right]);
    }

    // How many inner picture pixels are out of step.
    std::size_t Misses() const {
        std::size_t misses = 0;
        for (int y = 1; y < h2_ - 1; ++y)
            for (int x = 1; x < w2_ - 1; ++x)
                misses += Miss(sum_[Index(x, y)], seen_[Index(x, y)]) != 0;
        return misses;
    }

    // 16 times the model's value of every picture pixel from the current device pixels.
    void Sums() {
        for (int y = 1; y < h2_ - 1; ++y) {
            const int y0 = (y - 1) >> 1, ay = (y & 1) ? 3 : 1, by = 4 - ay;
            const uint8_t* top = &value_[std::size_t(y0) * width_];
            const uint8_t* bottom = top + width_;
            int16_t* out = &sum_[Index(0, y)];
            // Columns 2i+1 and 2i+2 both lie between device pixels i and i+1.
            for (int i = 0; i + 1 < width_; ++i) {
                const int near = ay * top[i] + by * bottom[i];
                const int far = ay * top[i + 1] + by * bottom[i + 1];
                out[2 * i + 1] = int16_t(3 * near + far);
                out[2 * i + 2] = int16_t(near + 3 * far);
            }
        }
        for (int y = 0; y < h2_; ++y)
            for (int x = 0; x < w2_; x += (y == 0 || y == h2_ - 1) ? 1 : w2_ - 1)
                sum_[Index(x, y)] = int16_t(Sum(x, y));
    }

    // The device pixels worth a look: those feeding a picture pixel out of step, and those whose
    // four nearest picture pixels all lie far enough above their ranges' bottoms that a lower
    // value might fit; besides, the outermost ones. Returns how many feed one out of step.
    std::size_t FirstLook() {
        std::fill(dirty_.begin(), dirty_.end(), 0);
        for (int y = 0; y < h2_; ++y) {
            const Tap& ty = tapsY_[y];
            for (int x = 0; x < w2_; ++x) {
                if (Miss(sum_[Index(x, y)], seen_[Index(x, y)]) == 0) continue;
                const Tap& tx = tapsX_[x];
                uint8_t* d = &dirty_[std::size_t(ty.first) * width_ + tx.first];
                d[0] = 1;
                if (tx.weightSecond) d[1] = 1;
                if (ty.weightSecond) d[width_] = 1;
                if (tx.weightSecond && ty.weightSecond) d[width_ + 1] = 1;
            }
        }
        const auto feeding = std::size_t(std::count(dirty_.begin(), dirty_.end(), uint8_t(1)));
        for (int j = 0; j < height_; ++j) {
            uint8_t* d = &dirty_[std::size_t(j) * width_];
            const bool edgeRow = j == 0 || j == height_ - 1;
            const int16_t* sums = &sum_[Index(0, 2 * j)];
            const uint8_t* seen = &seen_[Index(0, 2 * j)];
            for (int i = 0; i < width_; ++i) {
                if (edgeRow || i == 0 || i == width_ - 1) {
                    d[i] = 1;
                    continue;
                }
                bool lower = true;
                for (const int at : {2 * i, 2 * i + 1, w2_ + 2 * i, w2_ + 2 * i + 1})
                    lower = lower && sums[at] - seen[at] * 16 >= 9;
                if (lower) d[i] = 1;
            }
        }
        return feeding;
    }

    // The picture pixels device pixel (i, j) feeds, with its weights in them: columns 2i-1 ..
    // 2i+2 with weights 1, 3, 3, 1, rows likewise. Returns how many.
    int Feeds(int i, int j, int* index, int* weight, bool* ring) const {
        int n = 0;
        for (int y = std::max(2 * j - 1, 0); y <= std::min(2 * j + 2, h2_ - 1); ++y) {
            const int wy = (y == 2 * j || y == 2 * j + 1) ? 3 : 1;
            for (int x = std::max(2 * i - 1, 0); x <= std::min(2 * i + 2, w2_ - 1); ++x) {
                index[n] = int(Index(x, y));
                ring[n] = Ring(x, y);
                weight[n] = wy * ((x == 2 * i || x == 2 * i + 1) ? 3 : 1);
                ++n;
            }
        }
        return n;
    }

    // What one picture pixel adds to the cost when its sum changes by `change`: first whether it
    // is out of step (an inner one far before the ring), then how far it lies above the bottom of
    // its range, so that a flat area or a ramp comes back as it was, not with a pixel raised by
    // one that truncation would hide.
    long long Cost(int index, bool ring, int change) const {
        const int sum = sum_[index] + change, seen = seen_[index];
        const long long miss = Miss(sum, seen);
        if (ring) return std::min(miss, 15LL) * std::min(miss, 15LL) << 12;
        const int above = std::clamp(sum - seen * 16, 0, 15);
        return (miss * miss << 24) + above * above;
    }

    void Move(int i, int j, int step, const int* index, const int* weight, int n) {
        uint8_t& value = value_[std::size_t(j) * width_ + i];
        value = uint8_t(value + step);
        for (int k = 0; k < n; ++k) sum_[index[k]] = int16_t(sum_[index[k]] + weight[k] * step);
        for (int y = std::max(j - 1, 0); y <= std::min(j + 1, height_ - 1); ++y)
            for (int x = std::max(i - 1, 0); x <= std::min(i + 1, width_ - 1); ++x)
                next_[std::size_t(y) * width_ + x] = 1;
    }

    // One more pixel weighed up; false, and the recovery given up, once the budget is spent.
    bool Spend() {
        if (budget_ == 0) {
            exhausted_ = true;
            return false;
        }
        --budget_;
        return true;
    }

    // Moves each device pixel due a look to the value, within a few steps, of least cost over the
    // picture pixels it feeds. False when none moved.
    bool Refine() {
        bool moved = false;
        std::fill(next_.begin(), next_.end(), 0);
        int index[16], weight[16];
        bool ring[16];
        for (int j = 0; j < height_; ++j) {
            for (int i = 0; i < width_; ++i) {
                if (!dirty_[std::size_t(j) * width_ + i]) continue;
                int n = 16;
                if (i > 0 && j > 0 && i < width_ - 1 && j < height_ - 1) {
                    // Inside, the same 4 x 4 picture pixels around (2i, 2j), none on the ring.
                    const int base = int(Index(2 * i, 2 * j));
                    for (int k = 0; k < 16; ++k) {
                        index[k] = base + (k / 4 - 1) * w2_ + k % 4 - 1;
                        weight[k] = kWeights[k];
                        ring[k] = false;
                    }
                } else {
                    n = Feeds(i, j, index, weight, ring);
                }
                // With nothing out of step, only a lower value can do better, and only when no
                // inner sum would then drop below its range.
                bool settled = false, missing = false;
                for (int k = 0; k < n && !missing; ++k) {
                    const int above = sum_[index[k]] - seen_[index[k]] * 16;
                    missing = above < 0 || above > 15;
                    settled = settled || (!ring[k] && above < weight[k]);
                }
                if (settled && !missing) continue;
                if (!Spend()) return false;
                // The cost of a step, counted only while it stays below `limit`.
                const auto cost = [&](int step, long long limit) {
                    long long total = 0;
                    for (int k = 0; k < n && total < limit; ++k)
                        total += Cost(index[k], ring[k], weight[k] * step);
                    return total;
                };
                const int value = value_[std::size_t(j) * width_ + i];
                long long best = cost(0, LLONG_MAX);
                int step = 0;
                for (const int direction : {-1, 1}) {
                    for (int distance = 1; distance <= kMaxStep; ++distance) {
                        const int candidate = direction * distance;
                        if (value + candidate < 0 || value + candidate > 255) break;
                        const long long c = cost(candidate, best);
                        if (c >= best) break;
                        best = c;
                        step = candidate;
                    }
                }
                if (step == 0) continue;
                Move(i, j, step, index, weight, n);
                moved = true;
            }
        }
        dirty_.swap(next_);
        return moved;
    }

    // Two device pixels off by one in opposite ways can hide each other from moves of one pixel
    // at a time: for every inner picture pixel still out of step, tries moving two of the four
    // device pixels it blends by one each. False when none moved.
    bool MovePairs() {
        bool moved = false;
        std::fill(next_.begin(), next_.end(), 0);
        int index[2][16], weight[2][16];
        bool ring[2][16];
        int count[2];
        for (int y = 1; y < h2_ - 1; ++y) {
            for (int x = 1; x < w2_ - 1; ++x) {
                if (Miss(sum_[Index(x, y)], seen_[Index(x, y)]) == 0) continue;
                if (!Spend()) return false;
                const int x0 = (x - 1) >> 1, y0 = (y - 1) >> 1;
                const int corners[4][2] = {{x0, y0}, {x0 + 1, y0}, {x0, y0 + 1}, {x0 + 1, y0 + 1}};
                long long bestGain = 0;
                int best[4] = {};
                for (int a = 0; a < 4; ++a) {
                    for (int b = a + 1; b < 4; ++b) {
                        const int* p[2] = {corners[a], corners[b]};
                        for (int k = 0; k < 2; ++k)
                            count[k] = Feeds(p[k][0], p[k][1], index[k], weight[k], ring[k]);
                        for (const int sa : {-1, 1}) {
                            for (const int sb : {-1, 1}) {
                                const int va = value_[std::size_t(p[0][1]) * width_ + p[0][0]];
                                const int vb = value_[std::size_t(p[1][1]) * width_ + p[1][0]];
                                if (va + sa < 0 || va + sa > 255 || vb + sb < 0 || vb + sb > 255)
                                    continue;
                                // Over the picture pixels either feeds, each counted once.
                                long long gain = 0;
                                for (int k = 0; k < count[0]; ++k) {
                                    int change = weight[0][k] * sa;
                                    for (int m = 0; m < count[1]; ++m)
                                        if (index[1][m] == index[0][k]) change += weight[1][m] * sb;
                                    gain += Cost(index[0][k], ring[0][k], 0) -
                                            Cost(index[0][k], ring[0][k], change);
                                }
                                for (int m = 0; m < count[1]; ++m) {
                                    if (std::find(index[0], index[0] + count[0], index[1][m]) !=
                                        index[0] + count[0])
                                        continue;
                                    gain += Cost(index[1][m], ring[1][m], 0) -
                                            Cost(index[1][m], ring[1][m], weight[1][m] * sb);
                                }
                                if (gain > bestGain) {
                                    bestGain = gain;
                                    best[0] = a, best[1] = b, best[2] = sa, best[3] = sb;
                                }
                            }
                        }
                    }
                }
                if (bestGain == 0) continue;
                for (int k = 0; k < 2; ++k) {
                    const int* c = corners[best[k]];
                    count[k] = Feeds(c[0], c[1], index[k], weight[k], ring[k]);
                    Move(c[0], c[1], best[2 + k], index[k], weight[k], count[k]);
                }
                moved = true;
            }
        }
        dirty_.swap(next_);
        return moved;
    }

    const int width_, height_, w2_, h2_;
    const std::vector<Tap> tapsX_, tapsY_;
    std::vector<uint8_t> seen_;
    std::vector<int16_t> sum_;
    std::vector<float> half_;
    std::vector<uint8_t> dirty_, next_, value_;
    std::size_t budget_ = 0;  // pixels the refinement may still weigh up
    bool exhausted_ = false;
};

}  // namespace

Recovery RecoverFromDoubled(const Picture& shot, int left, int top, int width, int height,
                            Picture& output) {
    if (width < 2 || height < 2 || left < 0 || top < 0 || width > (shot.width - left) / 2 ||
        height > (shot.height - top) / 2)
        return Recovery::kNone;
    Picture result;
    if (!result.Reset(width, height)) return Recovery::kNone;
    Channel channel(width, height);
    Recovery overall = Recovery::kExact;
    for (const int shift : {0, 8, 16}) {
        overall = std::min(overall, channel.Recover(shot, left, top, shift));
        if (overall == Recovery::kNone) return overall;
        for (int y = 0; y < height; ++y) {
            uint32_t* row = result.Row(y);
            for (int x = 0; x < width; ++x) row[x] |= uint32_t(channel.Value(x, y)) << shift;
        }
    }
    output = std::move(result);
    return overall;
}

}  // namespace platform::capture
