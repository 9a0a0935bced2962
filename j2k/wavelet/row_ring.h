// A ring of rows for the streaming wavelet pipelines. The pointer table holds
// every row twice (entries i and i + n), so each rotated view is a plain
// index without a modulo and rows never move.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

template <class T>
class RowRing {
public:
    static constexpr uint32_t kMaxRows = 5;

    // rows (at most kMaxRows) rows of length samples, zeroed; position 0.
    void Allocate(uint32_t rows, uint32_t length) {
        rows_ = rows;
        storage_ = std::make_unique<T[]>(static_cast<size_t>(rows) * (length ? length : 1));
        for (uint32_t i = 0; i < rows; ++i)
            table_[i] = table_[i + rows] = storage_.get() + static_cast<size_t>(i) * length;
        p_ = 0;
    }
    // The row to be written (or handed on) next.
    T* current() const { return table_[p_]; }
    // k rows back from the newest: right after current() is written and
    // before rotate(), that row is rowBack(n - 1); after rotate() rowBack(0).
    T* rowBack(uint32_t k) const { return table_[p_ + rows_ - 1 - k]; }
    // Entry p + k of the table.
    T* entry(uint32_t k) const { return table_[p_ + k]; }
    void rotate() { p_ = p_ + 1 == rows_ ? 0 : p_ + 1; }
    void reset() { p_ = 0; }

private:
    std::unique_ptr<T[]> storage_;
    T* table_[2 * kMaxRows] = {};
    uint32_t rows_ = 0;
    uint32_t p_ = 0;
};
