// ProcessorClock: the processor time an experiment reads for its runs' durations, in
// milliseconds, which a resumed experiment continues from the reading its checkpoint saved, and
// which stands still while the experiment does work that is not its runs' (writing checkpoints).
#pragma once

namespace Valdrin {

class ProcessorClock {
public:
    // The process's processor time in milliseconds, plus the offset a resumed experiment set,
    // less the time spent paused; while paused, the reading at the pause.
    long now() const;
    // Makes now() go on from the given reading.
    void continueFrom(long reading);
    // Stops the clock until resume(); pauses nest, the outermost counts.
    void pause();
    void resume();

private:
    // The reading at the process's processor time of that many microseconds.
    long readingAt(long long microseconds) const;

    long offset_ = 0;
    long pausedAt_ = 0;                 // the reading when the (outermost) pause began
    long long pauseStart_ = 0;          // the process's processor time then (microseconds)
    long long pausedMicroseconds_ = 0;  // time spent paused, left out of every reading
    int pauses_ = 0;
};

// Pauses the clock for its lifetime.
class ClockPause {
public:
    explicit ClockPause(ProcessorClock& clock) : clock_(clock) { clock_.pause(); }
    ~ClockPause() { clock_.resume(); }
    ClockPause(const ClockPause&) = delete;
    ClockPause& operator=(const ClockPause&) = delete;

private:
    ProcessorClock& clock_;
};

}  // namespace Valdrin
