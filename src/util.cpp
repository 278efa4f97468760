#include "util.h"

#include "platform/requester.h"

#include <cstdarg>
#include <cstdio>

TEXT tmptxt[TMPTXT_SIZE];

BOOL isws(TEXT c) {
    return c == ' ' || c == '\t';
}

BOOL iseol(TEXT c) {
    return c == '\0' || c == '\n' || c == '\r';
}

BOOL error_requestf(CONST_STRPTR fmt, ...) {
    if (!platform::requester_available()) return false;

    std::va_list args;
    va_start(args, fmt);
    const int len = std::vsnprintf(tmptxt, sizeof tmptxt, fmt, args);
    va_end(args);
    if (len < 0) return false;
    tmptxt[sizeof tmptxt - 1] = '\0';

    return platform::show_error_requester("Error", tmptxt);
}
