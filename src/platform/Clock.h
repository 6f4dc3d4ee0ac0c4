#pragma once

#include <QDateTime>
#include <cstdint>
#include <random>
#include <vector>

namespace corvalin {

// The time of day as the station sees it. Injected wherever a rule depends on the time, so tests
// drive it with FakeClock. The real one may be called from any thread.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0; // local time
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// For tests: stands still until set or advanced. Single-threaded use.
class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 10), QTime(9, 0)))
        : now_(std::move(start)) {}
    QDateTime now() const override { return now_; }
    void set(const QDateTime& t) { now_ = t; }
    void advanceMs(qint64 ms) { now_ = now_.addMSecs(ms); }

private:
    QDateTime now_;
};

// Uniform random whole numbers. Injected wherever the station draws (shuffles, phrases), so
// tests can fix the sequence. Not thread-safe: one per thread.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    // A uniformly random whole number from 0 to `bound` - 1 (0 when bound <= 1).
    virtual int below(int bound) = 0;
};

// std::mt19937 seeded from the clock (or a fixed seed, for repeatable runs).
class StandardRandom final : public RandomSource {
public:
    StandardRandom();
    explicit StandardRandom(std::uint32_t seed) : engine_(seed) {}
    void reseed(std::uint32_t seed) { engine_.seed(seed); }
    int below(int bound) override;

private:
    std::mt19937 engine_;
};

// For tests: returns the given values in turn (each taken modulo the bound), then starts over.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(std::vector<int> values) : values_(std::move(values)) {}
    int below(int bound) override;
    int draws() const { return draws_; }

private:
    std::vector<int> values_;
    std::size_t next_ = 0;
    int draws_ = 0;
};

} // namespace corvalin
