// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/LogColumns.h"

#include <sys/mman.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

namespace quarnel {
namespace {

constexpr size_t kPage = 4096;
constexpr size_t kHugePage = 2 << 20;

constexpr int kMostDecimals = 4;

}  // namespace

void* MapColumn(size_t bytes) {
    void* room = ::mmap(nullptr, std::max(bytes, size_t(1)), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (room == MAP_FAILED) throw std::bad_alloc();
    // A big column is filled page by page, and a fault per 4 KiB page costs
    // more than the numbers in it: huge pages.
    if (bytes >= kHugePage) ::madvise(room, bytes, MADV_HUGEPAGE);
    return room;
}

void UnmapColumn(void* room, size_t bytes) {
    ::munmap(room, (std::max(bytes, size_t(1)) + kPage - 1) / kPage * kPage);
}

bool ParseLogDecimal(std::string_view text, LogDecimal& out) {
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    p += negative ? 1 : 0;
    uint64_t digits = 0;
    int count = 0, decimals = 0;
    bool point = false;
    for (; p != end && count <= 18; ++p) {
        if (*p >= '0' && *p <= '9') {
            digits = digits * 10 + (*p - '0');
            decimals += point ? 1 : 0;
            ++count;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (p == end && count > 0 && count <= 18) {
        // The fewest decimals: "1.50" is 15 tenths.
        while (decimals > 0 && digits % 10 == 0) digits /= 10, --decimals;
        out.digits = negative ? -int64_t(digits) : int64_t(digits);
        out.decimals = decimals;
        return true;
    }
    // Anything else reads as the float reader reads it.
    const auto [last, error] = std::from_chars(text.data(), end, out.number);
    out.decimals = -1;
    return error == std::errc() && last == end;
}

void LogValues::reserve(size_t size) {
    if (coded_)
        codes_.reserve(size);
    else
        floats_.reserve(size);
}

void LogValues::shrink_to_fit() {
    codes_.shrink_to_fit();
    floats_.shrink_to_fit();
}

void LogValues::pushSlowly(const LogDecimal& value) {
    // A finer scale for every code so far, while the largest still fits.
    if (coded_ && value.decimals > decimals_ && value.decimals <= kMostDecimals &&
        largest_ * kFactors[value.decimals - decimals_] <= kLargest)
        rescale(value.decimals);
    if (coded_ && value.decimals >= 0 && value.decimals <= decimals_) {
        const int64_t code = value.digits * kFactors[decimals_ - value.decimals];
        if (std::llabs(code) <= kLargest) {
            codes_.push_back(int16_t(code));
            largest_ = std::max(largest_, int(std::llabs(code)));
            return;
        }
    }
    if (coded_) toFloats();
    floats_.push_back(float(value.value()));
}

void LogValues::append(LogValues&& tail, size_t skip) {
    skip = std::min(skip, tail.size());
    const int decimals = std::max(decimals_, tail.decimals_);
    if (coded_ && tail.coded_ && largest_ * kFactors[decimals - decimals_] <= kLargest &&
        tail.largest_ * kFactors[decimals - tail.decimals_] <= kLargest) {
        rescale(decimals);
        const int64_t factor = kFactors[decimals - tail.decimals_];
        for (size_t i = skip; i < tail.codes_.size(); ++i)
            codes_.push_back(int16_t(tail.codes_[i] * factor));
        largest_ = std::max(largest_, int(tail.largest_ * factor));
    } else {
        if (coded_) toFloats();
        for (size_t i = skip; i < tail.size(); ++i) floats_.push_back(float(tail[i]));
    }
    tail = LogValues();
}

void LogValues::rescale(int decimals) {
    const int64_t factor = kFactors[decimals - decimals_];
    if (factor == 1) return;
    for (int16_t& code : codes_) code = int16_t(code * factor);
    largest_ = int(largest_ * factor);
    decimals_ = decimals;
}

void LogValues::toFloats() {
    floats_.reserve(codes_.capacity());
    for (const int16_t code : codes_) floats_.push_back(float(code / kScales[decimals_]));
    codes_ = Column<int16_t>();
    coded_ = false;
}

void LogTimes::reserve(size_t size) {
    if (stepped_)
        reserved_ = std::max(reserved_, size);
    else if (coded_)
        ms_.reserve(size);
    else
        seconds_.reserve(size);
}

void LogTimes::shrink_to_fit() {
    ms_.shrink_to_fit();
    seconds_.shrink_to_fit();
}

void LogTimes::push_back(double seconds) {
    const double ms = std::round(seconds * 1000);
    if (coded_ && !(ms >= 0 && ms <= std::numeric_limits<uint32_t>::max() && ms / 1000 == seconds))
        toSeconds();
    if (!coded_) {
        seconds_.push_back(seconds);
    } else if (!stepped_) {
        ms_.push_back(uint32_t(ms));
    } else if (count_ == 0 || (count_ == 1 && ms >= double(first_))) {
        if (count_ == 0) first_ = uint64_t(ms);
        step_ = uint64_t(ms) - first_;
        ++count_;
    } else if (uint64_t(ms) == first_ + step_ * count_) {
        ++count_;
    } else {
        toMilliseconds();
        ms_.push_back(uint32_t(ms));
    }
}

void LogTimes::append(LogTimes&& tail, size_t skip) {
    for (size_t i = std::min(skip, tail.size()); i < tail.size(); ++i) push_back(tail[i]);
    tail = LogTimes();
}

void LogTimes::toMilliseconds() {
    ms_.reserve(std::max(count_, reserved_));
    for (size_t i = 0; i < count_; ++i) ms_.push_back(uint32_t(first_ + step_ * i));
    stepped_ = false;
}

void LogTimes::toSeconds() {
    const size_t n = size();
    seconds_.reserve(std::max(capacity(), n));
    for (size_t i = 0; i < n; ++i) seconds_.push_back((*this)[i]);
    ms_ = Column<uint32_t>();
    stepped_ = false;
    coded_ = false;
}

}  // namespace quarnel
