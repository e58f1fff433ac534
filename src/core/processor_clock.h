// ProcessorClock: the processor time an experiment reads for its runs' durations, in
// milliseconds, which a resumed experiment continues from the reading its checkpoint saved.
#pragma once

namespace Valdrin {

class ProcessorClock {
public:
    // The process's processor time in milliseconds, plus the offset a resumed experiment set.
    long now() const;
    // Makes now() go on from the given reading.
    void continueFrom(long reading);

private:
    long offset_ = 0;
};

}  // namespace Valdrin
