// Services every module uses: the error requester, the character classes of the
// preferences parser, and the shared text buffer.
#pragma once

#include "platform/types.h"

constexpr unsigned TMPTXT_SIZE = 4096;

// Scratch text shared by the whole program; error_requestf formats into it.
extern TEXT tmptxt[TMPTXT_SIZE];

// Space or tab.
BOOL isws(TEXT c);
// NUL, line feed or carriage return.
BOOL iseol(TEXT c);

// Shows a modal "Error" requester with the printf-style message (cut to 4095
// characters). True once the user has dismissed it; false when nothing could be shown.
BOOL error_requestf(CONST_STRPTR fmt, ...) __attribute__((format(printf, 1, 2)));
