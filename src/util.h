// Services every module uses: the error requester, access to the platform's
// libraries, the character classes of the preferences parser, and the shared text
// buffer.
#pragma once

#include "platform/library.h"
#include "platform/types.h"

using platform::Interface;
using platform::Library;

constexpr unsigned TMPTXT_SIZE = 4096;

// Scratch text shared by the whole program; error_requestf formats into it.
extern TEXT tmptxt[TMPTXT_SIZE];

// The display connection and the requester class, opened by main at start-up and
// released at shut-down. The error requester works only while both are open.
extern Library *IntuitionBase;
extern Interface *IIntuition;
extern Library *RequesterBase;
extern Interface *IRequester;

// Space or tab.
BOOL isws(TEXT c);
// NUL, line feed or carriage return.
BOOL iseol(TEXT c);

// Shows a modal "Error" requester with the printf-style message (cut to 4095
// characters). True once the user has dismissed it; false when nothing could be
// shown, in which case tmptxt is untouched if the requester was not available.
BOOL error_requestf(CONST_STRPTR fmt, ...) __attribute__((format(printf, 1, 2)));

// Opens `libname` in at least `version` with its "main" interface. On failure the
// user is told (on standard output when no requester can be shown) and false comes
// back; whatever was obtained stays in the handles for dropLibIFace.
BOOL getLibIFace(Library **libbase, CONST_STRPTR libname, int32 version, Interface **ifptr);

// Releases the interface, then the library; safe on handles that are null.
void dropLibIFace(Library **libbase, Interface **ifptr);
