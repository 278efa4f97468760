#include "util.h"

#include "platform/requester.h"

#include <cstdarg>
#include <cstdio>

TEXT tmptxt[TMPTXT_SIZE];

Library *IntuitionBase = nullptr;
Interface *IIntuition = nullptr;
Library *RequesterBase = nullptr;
Interface *IRequester = nullptr;

BOOL isws(TEXT c)
{
    return c == ' ' || c == '\t';
}

BOOL iseol(TEXT c)
{
    return c == '\0' || c == '\n' || c == '\r';
}

BOOL error_requestf(CONST_STRPTR fmt, ...)
{
    if (!IRequester || !IIntuition)
        return false;

    std::va_list args;
    va_start(args, fmt);
    const int len = std::vsnprintf(tmptxt, sizeof tmptxt, fmt, args);
    va_end(args);
    if (len < 0)
        return false;
    tmptxt[sizeof tmptxt - 1] = '\0';

    return platform::show_error_requester(IRequester, "Error", tmptxt, "OK");
}

BOOL getLibIFace(Library **libbase, CONST_STRPTR libname, int32 version, Interface **ifptr)
{
    *libbase = platform::OpenLibrary(libname, version);
    if (!*libbase) {
        if (!error_requestf("Unable to open '%s', version %ld+", libname,
                            static_cast<long>(version)))
            std::printf("Unable to open '%s', version %ld+", libname, static_cast<long>(version));
        return false;
    }
    *ifptr = platform::GetInterface(*libbase, "main", 1);
    if (!*ifptr) {
        if (!error_requestf("Unable to obtain the main interface for %s", libname))
            std::printf("Unable to obtain the main interface for %s", libname);
        return false;
    }
    return true;
}

void dropLibIFace(Library **libbase, Interface **ifptr)
{
    if (*ifptr) {
        platform::DropInterface(*ifptr);
        *ifptr = nullptr;
    }
    if (*libbase) {
        platform::CloseLibrary(*libbase);
        *libbase = nullptr;
    }
}
