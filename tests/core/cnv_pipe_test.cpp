// The pipe must answer the record loop exactly as the reader it reads ahead
// of, failures included, and keep its read-ahead within its bounds.
#include "core/cnv_pipe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TK/tk_excep.h"

namespace {

// Rows 0..rows-1, one text field "row N" (plus `pad` units), with refusals
// at chosen rows in is_eof, get_item or next; a fatal failure at `fatal_at`.
class script_reader : public udb_recordset {
  public:
    script_reader(size_t rows, bool exchangeable, size_t pad = 0)
        : udb_recordset(u"T", u"", true), rows_(rows), exchangeable_(exchangeable), pad_(pad) {}
    std::set<size_t> refuse_eof, refuse_item, refuse_next;
    size_t fatal_at = SIZE_MAX;
    std::atomic<size_t> calls{0};

    bool record_exchangeable() const override { return exchangeable_; }
    bool is_eof() override {
        ++calls;
        if (refuse_eof.erase(pos_)) {
            ++pos_;
            throw udb_record_refused(tk_exception("eof " + std::to_string(pos_ - 1), 0));
        }
        if (pos_ == fatal_at)
            throw tk_exception("fatal", 7);
        return pos_ >= rows_;
    }
    udb_record* get_item() override {
        ++calls;
        if (refuse_item.erase(pos_))
            throw udb_record_refused(tk_exception("item " + std::to_string(pos_), 0));
        // An exchangeable reader rebuilds its record whatever it holds.
        if (record_.size() != 1) {
            record_.clear();
            record_.emplace_back(u"C", 10, ole_variant());
        }
        const std::string n = std::to_string(pos_);
        std::u16string text = u"row " + std::u16string(n.begin(), n.end());
        text.append(pad_, u'x');
        record_[0].attach_wstring(text);
        return &record_;
    }
    void next() override {
        ++calls;
        if (refuse_next.erase(pos_++))
            throw udb_record_refused(tk_exception("next " + std::to_string(pos_ - 1), 0));
    }
    void append_record(udb_record&) override {}

  private:
    size_t rows_, pos_ = 0;
    bool exchangeable_;
    size_t pad_;
    udb_record record_;
};

// The converter's loop: a refusal costs its record, any other failure ends.
template <class Rows>
std::vector<std::string> drive(Rows& rows) {
    std::vector<std::string> seen;
    auto call = [&](auto f) {
        try {
            f();
            return true;
        } catch (const udb_record_refused& e) {
            seen.push_back("refused: " + e.message());
            return true;
        } catch (const tk_exception& e) {
            seen.push_back("failed: " + e.message());
            return false;
        }
    };
    for (;;) {
        bool eof = false;
        if (!call([&] { eof = rows.is_eof(); }))
            return seen;
        if (eof)
            break;
        if (!call([&] {
                udb_record* r = rows.get_item();
                seen.push_back(r ? (*r)[0].to_string() : "null");
            }))
            return seen;
        if (!call([&] { rows.next(); }))
            return seen;
    }
    seen.push_back("end");
    return seen;
}

void script(script_reader& r) {
    r.refuse_eof = {0, 700, 701, 2999};
    r.refuse_item = {5, 1024};
    r.refuse_next = {6, 1500, 2998};
}

}  // namespace

TEST(record_pipe, AnswersAsTheReaderDoesFailuresIncluded) {
    for (bool exchangeable : {false, true}) {
        script_reader direct(3000, exchangeable), piped(3000, exchangeable);
        script(direct);
        script(piped);
        const std::vector<std::string> expected = drive(direct);
        record_pipe pipe(piped);
        EXPECT_EQ(drive(pipe), expected) << "exchangeable " << exchangeable;
        EXPECT_EQ(expected.back(), "end");
    }
    // A failure that ends the rows ends them at the same place.
    script_reader direct(2000, true), piped(2000, true);
    direct.fatal_at = piped.fatal_at = 1200;
    const std::vector<std::string> expected = drive(direct);
    record_pipe pipe(piped);
    EXPECT_EQ(drive(pipe), expected);
    EXPECT_EQ(expected.back(), "failed: fatal");
}

TEST(record_pipe, ReadsAheadWithinItsBoundsAndStopsWhenDestroyed) {
    // 2 MiB values: the ring's byte budget lets about eight rows wait.
    script_reader big(100, true, size_t{1} << 20);
    {
        record_pipe pipe(big);
        ASSERT_FALSE(pipe.is_eof());
        ASSERT_NE(pipe.get_item(), nullptr);
        for (int i = 0; i < 200 && big.calls < 30; ++i) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_LE(big.calls.load(), 3u * (record_pipe::kMaxBytes / (size_t{2} << 20) + 2));
    }
    // Small rows: never more than the ring ahead; nothing after destruction.
    script_reader small(100000, false);
    size_t after = 0;
    {
        record_pipe pipe(small);
        ASSERT_FALSE(pipe.is_eof());
        for (int i = 0; i < 2000 && small.calls < 3 * record_pipe::kSlots; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_GT(small.calls.load(), 3u);  // it did read ahead
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_LE(small.calls.load(), 3u * (record_pipe::kSlots + 1));
    }
    after = small.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(small.calls.load(), after);
}
