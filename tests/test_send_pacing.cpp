// The send rate is a cap on the wire: first requests from many workers and the further
// requests that take a slot share one pace, and no second holds more than the rate.

#include "scan/SendAheadPacer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

TEST(SendPacing, NoSecondHoldsMoreRequestsThanTheRateWhateverSendsThem)
{
    using Clock = SendAheadPacer::Clock;
    constexpr int kRate = 20;
    std::mutex mutex;
    std::vector<Clock::time_point> sent;
    const auto note = [&](Clock::time_point at) {
        std::lock_guard lock(mutex);
        sent.push_back(at);
    };
    SendAheadPacer::Rules rules;
    rules.startsPerSecond = kRate;
    rules.maxOutstanding = 1000;
    rules.aheadWindow = 1000;
    rules.pacesWorkers = true;
    SendAheadPacer pacer(
        rules,
        [&](const SendAheadPacer::Request&) {
            note(Clock::now());
            SendAheadPacer::Started started;
            started.found = false; // nobody answers: the verdict is in at once
            return started;
        },
        [](quint32) { return std::nullopt; });
    pacer.ScanStarting({});

    // Eight workers with addresses of their own, and a thread that sends repeats.
    std::vector<std::thread> threads;
    for (int worker = 0; worker < 8; ++worker)
        threads.emplace_back([&, worker] {
            for (quint32 n = 0; n < 3; ++n) {
                SendAheadPacer::Request request;
                request.address = 0xC6120000u + quint32(worker) * 16 + n;
                quint64 mac = 0;
                pacer.Resolve(request, &mac);
            }
        });
    threads.emplace_back([&] {
        for (int repeat = 0; repeat < 12; ++repeat) {
            const auto slot = pacer.TakeSlot();
            std::this_thread::sleep_until(slot);
            note(Clock::now());
        }
    });
    for (std::thread& thread : threads)
        thread.join();
    pacer.ScanEnded();
    pacer.Close();

    ASSERT_EQ(sent.size(), 36u);
    std::sort(sent.begin(), sent.end());
    // The times are taken by threads that a busy machine may wake late; the pace itself
    // leaves no more than the rate in a second, so a window of 900 ms bears 100 ms of
    // such lateness. (Unpaced, all 36 go within a few milliseconds.)
    for (size_t first = 0; first < sent.size(); ++first) {
        const auto inSecond =
            std::count_if(sent.begin() + qsizetype(first), sent.end(), [&](Clock::time_point at) {
                return at - sent[first] < std::chrono::milliseconds(900);
            });
        EXPECT_LE(inSecond, kRate) << "from request " << first;
    }
}
