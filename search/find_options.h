#pragma once

struct FindOptions {
    bool wholeWord = false;
    bool matchCase = false;
    bool wrapAround = true;
};
