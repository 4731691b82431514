// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The columns of a long log, kept small for the review window. A logged value
// is a short decimal ("27.25", ".745"): while every value of a column fits in
// 16 bits at one decimal scale, the column keeps them so, 2 bytes a value
// where a float takes 4. A time is a whole number of milliseconds: 4 bytes
// where a double takes 8, and none while the times keep one step. The first
// value that does not fit turns its column into floats (the times into
// doubles), the values before it included.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quarnel {

// A column's room comes straight from the system and goes straight back:
// freed, it is never kept by the allocator for later, so a column given up
// while another grows (two readers' halves joined) leaves no peak behind.
void* MapColumn(size_t bytes);
void UnmapColumn(void* room, size_t bytes);
template <typename T>
struct ColumnAllocator {
    using value_type = T;
    ColumnAllocator() = default;
    template <typename U>
    ColumnAllocator(const ColumnAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(MapColumn(n * sizeof(T))); }
    void deallocate(T* room, size_t n) { UnmapColumn(room, n * sizeof(T)); }
    friend bool operator==(const ColumnAllocator&, const ColumnAllocator&) { return true; }
};
template <typename T>
using Column = std::vector<T, ColumnAllocator<T>>;

// A number of a log line: its digits and how many of them follow the point,
// or, for a text that is no plain decimal ("1e3"), the float it reads as.
struct LogDecimal {
    int64_t digits = 0;  // -27.25: -2725
    int decimals = -1;   // -27.25: 2; -1 when `number` holds the value
    float number = 0;
    double value() const {
        static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                             1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                             1e14, 1e15, 1e16, 1e17, 1e18};
        return decimals < 0 ? double(number) : double(digits) / kPowers[decimals];
    }
    operator double() const { return value(); }  // as the reader's checks want it
};

// A plain decimal ("-27.25", ".5", "3."), else from_chars' float. False when
// the text is no number at all.
bool ParseLogDecimal(std::string_view text, LogDecimal& out);

class LogValues {
  public:
    size_t size() const { return coded_ ? codes_.size() : floats_.size(); }
    size_t capacity() const { return coded_ ? codes_.capacity() : floats_.capacity(); }
    bool empty() const { return size() == 0; }
    void reserve(size_t size);
    void shrink_to_fit();
    // The tail's values from `skip` on, after these; the tail is left empty.
    void append(LogValues&& tail, size_t skip);
    void push_back(const LogDecimal& value) {
        // Most values come at the column's scale or coarser, and fit.
        if (coded_ && value.decimals >= 0 && value.decimals <= decimals_) {
            const int64_t code = value.digits * kFactors[decimals_ - value.decimals];
            if (code >= -kLargest && code <= kLargest) {
                codes_.push_back(int16_t(code));
                largest_ = std::max(largest_, int(code < 0 ? -code : code));
                return;
            }
        }
        pushSlowly(value);
    }
    double operator[](size_t i) const {
        return coded_ ? codes_[i] / kScales[decimals_] : double(floats_[i]);
    }

    // For passes over many values: the codes and their divisor, or the floats.
    bool coded() const { return coded_; }
    const int16_t* codes() const { return codes_.data(); }
    double divisor() const { return kScales[decimals_]; }
    const float* floats() const { return floats_.data(); }

  private:
    static constexpr double kScales[] = {1, 10, 100, 1000, 10000};
    static constexpr int64_t kFactors[] = {1, 10, 100, 1000, 10000};
    static constexpr int64_t kLargest = 32767;
    void pushSlowly(const LogDecimal& value);
    void rescale(int decimals);
    void toFloats();

    bool coded_ = true;
    int decimals_ = 0;
    int largest_ = 0;  // of the codes' magnitudes: whether a finer scale still fits
    Column<int16_t> codes_;
    Column<float> floats_;
};

class LogTimes {
  public:
    size_t size() const { return stepped_ ? count_ : coded_ ? ms_.size() : seconds_.size(); }
    size_t capacity() const {
        return stepped_ ? std::max(count_, reserved_)
               : coded_ ? ms_.capacity()
                        : seconds_.capacity();
    }
    bool empty() const { return size() == 0; }
    void reserve(size_t size);
    void shrink_to_fit();
    void append(LogTimes&& tail, size_t skip);  // as LogValues::append
    void push_back(double seconds);
    double operator[](size_t i) const {
        return stepped_ ? double(first_ + step_ * i) / 1000.0
               : coded_ ? ms_[i] / 1000.0
                        : seconds_[i];
    }
    double front() const { return (*this)[0]; }
    double back() const { return (*this)[size() - 1]; }

  private:
    void toMilliseconds();
    void toSeconds();

    // A log's times are its line count times the interval: while they are,
    // three numbers hold them all.
    bool stepped_ = true;
    uint64_t first_ = 0, step_ = 0;  // milliseconds
    size_t count_ = 0, reserved_ = 0;
    bool coded_ = true;
    Column<uint32_t> ms_;
    Column<double> seconds_;
};

}  // namespace quarnel
