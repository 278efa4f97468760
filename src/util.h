// Services every module uses: the error requester, access to the platform's
// libraries, the character classes of the preferences parser, and the shared text
// buffer.
#pragma once

#include "platform/display.h"
#include "platform/library.h"
#include "platform/requester.h"
#include "platform/translate.h"
#include "platform/types.h"

using platform::Interface;
using platform::IntuitionIFace;
using platform::Library;
using platform::RequesterIFace;

constexpr unsigned TMPTXT_SIZE = 4096;

// Scratch text shared by the whole program; error_requestf formats into it.
extern TEXT tmptxt[TMPTXT_SIZE];

// The display connection and the requester class, opened by main at start-up and
// released at shut-down. The error requester works only while both are open.
extern Library *IntuitionBase;
extern IntuitionIFace *IIntuition;
extern Library *RequesterBase;
extern RequesterIFace *IRequester;

// Space or tab. (Inline: the parser asks for every byte of the file.)
inline BOOL isws(TEXT c)
{
    return c == ' ' || c == '\t';
}
// NUL, line feed or carriage return.
inline BOOL iseol(TEXT c)
{
    return c == '\0' || c == '\n' || c == '\r';
}
// White space as the C library's "C" locale has it: space, \t, \n, \v, \f, \r.
BOOL isspace_c(TEXT c);

// One integer as the C library reads it after white space and a sign: in `base` 10,
// or with `base` 0 as scanf's %i does (hexadecimal after 0x, octal after a leading
// 0), except that a number beyond 32 bits is held at the nearest limit. The text
// after it, or null when there are no digits (`out` is then left alone).
CONST_STRPTR scan_int32(CONST_STRPTR p, int base, int32 *out);

// Shows a modal "Error" requester with the printf-style message (cut to 4095
// characters), the format translated in the context "Error" (mark it with KT_TR). True once the
// user has dismissed it; false when nothing could be shown, in which case tmptxt is untouched if
// the requester was not available.
BOOL error_requestf(CONST_STRPTR fmt, ...) __attribute__((format(printf, 1, 2)));

// Opens `libname` in at least `version` with its "main" interface. On failure the
// user is told (on standard output when no requester can be shown) and false comes
// back; whatever was obtained stays in the handles for dropLibIFace.
BOOL getLibIFace(Library **libbase, CONST_STRPTR libname, int32 version, Interface **ifptr);

// Releases the interface, then the library; safe on handles that are null.
void dropLibIFace(Library **libbase, Interface **ifptr);

// The same for a handle of a library's own interface type.
template <class IFace>
BOOL getLibIFace(Library **libbase, CONST_STRPTR libname, int32 version, IFace **ifptr)
{
    Interface *iface = *ifptr;
    const BOOL ok = getLibIFace(libbase, libname, version, &iface);
    *ifptr = static_cast<IFace *>(iface);
    return ok;
}

template <class IFace> void dropLibIFace(Library **libbase, IFace **ifptr)
{
    Interface *iface = *ifptr;
    dropLibIFace(libbase, &iface);
    *ifptr = static_cast<IFace *>(iface);
}
