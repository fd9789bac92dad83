// What a pane last asked of one scroll bar, so that a request changing
// nothing is not sent: each SetScrollInfo redraws the bar (under Wine it
// takes milliseconds), and the bars are set at every progress step.
// A bar given a new range clamps its page and position, and a new page its
// position, so these are unknown after one unless the same request sets
// them. The values asked are kept, not the clamped ones: asking them again
// of the same range changes nothing.
#pragma once
#include <cstdint>

struct BarRequest {
    bool setRange = false, setPage = false, setPos = false;
    int32_t min = 0, max = 0;
    uint32_t page = 0;
    int32_t pos = 0;
    bool Any() const { return setRange || setPage || setPos; }
};

class BarRequests {
public:
    // The part of r the bar must be sent (nothing when Any() is false); r
    // is taken as sent.
    BarRequest Needed(const BarRequest& r);
    // A new window: everything is sent again.
    void Forget() { *this = BarRequests{}; }
    // The position was set or moved otherwise (a scroll message).
    void ForgetPosition() { posKnown_ = false; }

private:
    bool rangeKnown_ = false, pageKnown_ = false, posKnown_ = false;
    int32_t min_ = 0, max_ = 0;
    uint32_t page_ = 0;
    int32_t pos_ = 0;
};
