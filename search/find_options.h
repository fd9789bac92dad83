#pragma once

struct FindOptions {
    bool wholeWord = false;
    bool matchCase = false;
    bool wrapAround = true;
    // The search text is a regular expression (search/regex_search.h).
    bool regex = false;
};
