#include "view/bar_requests.h"

BarRequest BarRequests::Needed(const BarRequest& r) {
    BarRequest out = r;
    out.setRange = r.setRange && !(rangeKnown_ && r.min == min_ && r.max == max_);
    out.setPage = r.setPage && (out.setRange || !pageKnown_ || r.page != page_);
    const bool clamps = out.setRange || out.setPage;
    out.setPos = r.setPos && (clamps || !posKnown_ || r.pos != pos_);
    if (out.setRange) {
        rangeKnown_ = true;
        min_ = r.min;
        max_ = r.max;
    }
    if (r.setPage) {
        pageKnown_ = true;
        page_ = r.page;
    } else if (out.setRange) {
        pageKnown_ = false;
    }
    if (r.setPos) {
        posKnown_ = true;
        pos_ = r.pos;
    } else if (clamps) {
        posKnown_ = false;
    }
    return out;
}
