#include "TK/tk_threa.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "TK/tk_excep.h"

namespace {

using namespace std::chrono_literals;

// Counts its steps; done after `steps` of them, or held back until released.
class counting_runnable : public tk_runnable {
  public:
    explicit counting_runnable(int steps, bool hold = false) : steps_(steps), hold_(hold) {}
    ~counting_runnable() override { destroyed_ = true; }
    bool is_done() override { return !hold_.load() && count_.load() >= steps_; }
    void step() override {
        worker_ = std::this_thread::get_id();
        ++count_;
        std::this_thread::sleep_for(1ms);
    }
    void finish() override { finished_ = true; }

    int steps_;
    std::atomic<bool> hold_;
    std::atomic<int> count_{0};
    std::atomic<bool> finished_{false};
    std::thread::id worker_;
    static inline std::atomic<bool> destroyed_{false};
};

// Hands out a runnable it keeps, or one it gives away, counting requests.
class test_thread : public tk_thread {
  public:
    tk_runnable* create_runnable() override {
        ++created_;
        if (give_null_)
            return nullptr;
        if (external_)
            return external_;
        owns_runnable_ = true;
        return new counting_runnable(3);
    }
    tk_runnable* external_ = nullptr;
    bool give_null_ = false;
    int created_ = 0;
};

class throwing_runnable : public tk_runnable {
  public:
    void run() override { throw std::runtime_error("worker failed"); }
};

std::string assertion_text(int line) {
    return "Internal error: \ncode=" + tk_mail_assertion::encode_position("tk_threa", line);
}

bool wait_until_ended(tk_thread& t) {
    for (int i = 0; i < 500; ++i) {
        if (!t.is_running())
            return true;
    }
    return false;
}

}  // namespace

TEST(tk_thread, RunsStepsOnTheWorkerUntilDoneThenFinishes) {
    counting_runnable r(5);
    counting_runnable::destroyed_ = false;
    test_thread t;
    t.external_ = &r;
    t.start();
    ASSERT_TRUE(wait_until_ended(t));
    EXPECT_EQ(r.count_.load(), 5);
    EXPECT_TRUE(r.finished_.load());
    EXPECT_NE(r.worker_, std::this_thread::get_id());
    EXPECT_EQ(t.failure(), nullptr);
    t.clean_up();
    EXPECT_EQ(t.runnable(), nullptr);
    EXPECT_FALSE(counting_runnable::destroyed_.load());  // not owned: not deleted
}

TEST(tk_thread, StartingWhileRunningIsAnInternalErrorAndStartsNothing) {
    counting_runnable r(1, /*hold=*/true);
    test_thread t;
    t.external_ = &r;
    t.start();
    EXPECT_TRUE(t.is_running());
    try {
        t.start();
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.what(), assertion_text(92));
    }
    EXPECT_EQ(t.created_, 1);  // no second runnable, no second worker
    try {
        t.clean_up();
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.what(), assertion_text(71));
    }
    r.hold_ = false;
    ASSERT_TRUE(wait_until_ended(t));
    // The ended worker's leftovers are cleaned up by the next start.
    r.count_ = 0;
    t.start();
    EXPECT_EQ(t.created_, 2);
    ASSERT_TRUE(wait_until_ended(t));
    EXPECT_EQ(r.count_.load(), 1);
}

TEST(tk_thread, TerminateStopsTheDefaultRunnableAndDeletesOwnedOnes) {
    tk_thread plain;  // the base runnable is never done on its own
    plain.start();
    EXPECT_TRUE(plain.is_running());
    plain.terminate();
    EXPECT_FALSE(plain.is_running());
    EXPECT_EQ(plain.runnable(), nullptr);
    try {
        plain.terminate();
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.what(), assertion_text(55));
    }

    counting_runnable::destroyed_ = false;
    test_thread owner;
    owner.start();
    ASSERT_TRUE(wait_until_ended(owner));
    owner.clean_up();
    EXPECT_TRUE(counting_runnable::destroyed_.load());
}

TEST(tk_thread, DestructorWaitsForTheWorker) {
    counting_runnable r(1, /*hold=*/true);
    {
        test_thread t;
        t.external_ = &r;
        t.start();
        std::this_thread::sleep_for(20ms);
    }
    // The stop request ended the loop and finish ran before the wrapper died.
    EXPECT_TRUE(r.finished_.load());
    EXPECT_TRUE(r.stop_requested());
    int steps = r.count_.load();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(r.count_.load(), steps);  // nothing runs any more

    // A runnable stopped once runs again after a new start.
    r.hold_ = false;
    r.finished_ = false;
    r.count_ = 0;
    test_thread t2;
    t2.external_ = &r;
    t2.start();
    ASSERT_TRUE(wait_until_ended(t2));
    EXPECT_EQ(r.count_.load(), 1);
    EXPECT_TRUE(r.finished_.load());
}

TEST(tk_thread, NullRunnableAndEscapingExceptions) {
    test_thread t;
    t.give_null_ = true;
    try {
        t.start();
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.what(), assertion_text(105));
    }
    EXPECT_FALSE(t.is_running());

    throwing_runnable thrower;
    test_thread t2;
    t2.external_ = &thrower;
    t2.start();
    ASSERT_TRUE(wait_until_ended(t2));
    ASSERT_NE(t2.failure(), nullptr);
    EXPECT_THROW(std::rethrow_exception(t2.failure()), std::runtime_error);
}

TEST(tk_thread, AThreadDestroyedWhileItsWorkerEndsWaitsForIt) {
    // A worker that ends about when its thread object is destroyed (as the
    // wizard's connecting worker does when the logon returns): the object
    // waits for it and the process goes on.
    class short_runnable : public tk_runnable {
      public:
        explicit short_runnable(std::chrono::microseconds d) : d_(d) {}
        void run() override {
            std::this_thread::sleep_for(d_);
            ended = true;
        }
        std::atomic<bool> ended{false};

      private:
        std::chrono::microseconds d_;
    };
    for (int i = 0; i < 40; ++i) {
        short_runnable r(std::chrono::microseconds(500 * (i % 30)));
        {
            test_thread t;
            t.external_ = &r;
            t.start();
            std::this_thread::sleep_for(std::chrono::microseconds(250 * (i % 7)));
        }
        EXPECT_TRUE(r.ended) << i;  // waited for, not left running
    }
}
