// A sink that accepts `budget` bytes and then fails every write, like a full
// disk: lets tests reach the error path of every writer.
#pragma once

#include <stdexcept>

#include "TK/tk_excep.h"
#include "TK/tk_sink.h"

namespace tsl_test {

class fail_sink : public tk::sink {
public:
    explicit fail_sink(uint64_t budget) : budget_(budget) {}
    void write(const void* data, size_t n) override {
        if (inner_.size() + n > budget_) throw tk_exception("No space left on device", 1);
        inner_.write(data, n);
    }
    void write_at(uint64_t offset, const void* data, size_t n) override {
        inner_.write_at(offset, data, n);
    }
    uint64_t size() const override { return inner_.size(); }
    const std::vector<uint8_t>& data() const { return inner_.data(); }

private:
    uint64_t budget_;
    tk::memory_sink inner_;
};

}  // namespace tsl_test
