// The log and progress sink the pyramid driver reports to.
#pragma once

#include <cstdint>

#include "engine/base/vq_refcount.h"

// Derives vq_refcount virtually so that an object implementing this sink and
// the pyramid output interface has a single reference count.
class vq_logoutput_base : public virtual vq_refcount {
public:
    // Lines whose level is greater than this are dropped.
    virtual void setLogLevel(int32_t level) = 0;
    // One log line: level 0 errors and cancellation, 1 results and notices,
    // 2 detail. The text usually ends in a line feed.
    virtual void log(int32_t level, const char* text) = 0;
    // Overall progress of the run, 0 to 100.
    virtual void setProgress(int32_t percent) = 0;
    // Called once per base-level tile, after setProgress.
    virtual void stepProgress(int32_t tilesDone, int32_t sourceLevel) = 0;
    virtual int32_t getProgress() = 0;
};
