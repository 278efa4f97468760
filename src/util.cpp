#include "util.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

TEXT tmptxt[TMPTXT_SIZE];

Library *IntuitionBase = nullptr;
IntuitionIFace *IIntuition = nullptr;
Library *RequesterBase = nullptr;
RequesterIFace *IRequester = nullptr;

BOOL isspace_c(TEXT c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

static int digit_value(TEXT c, int base)
{
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : 99;
    return d < base ? d : -1;
}

CONST_STRPTR scan_int32(CONST_STRPTR p, int base, int32 *out)
{
    while (isspace_c(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    if (base == 0 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit_value(p[2], 16) >= 0) {
        base = 16;
        p += 2;
    } else if (base == 0) {
        base = p[0] == '0' ? 8 : 10;
    }
    long long magnitude = 0;
    CONST_STRPTR digits = p;
    for (int d; (d = digit_value(*p, base)) >= 0; ++p)
        magnitude = std::min(magnitude * base + d, static_cast<long long>(INT32_MAX) + 1);
    if (p == digits)
        return nullptr;
    const long long value = negative ? -magnitude : magnitude;
    *out = static_cast<int32>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
    return p;
}

static BOOL request(CONST_STRPTR fmt, std::va_list args)
{
    if (!IRequester || !IIntuition || !IIntuition->connected())
        return false;
    // Every message is looked up in "Error": callers mark their formats there.
    const auto localise = [](CONST_STRPTR text) {
        return IRequester->translate ? IRequester->translate("Error", text) : text;
    };
    if (std::vsnprintf(tmptxt, sizeof tmptxt, localise(fmt), args) < 0)
        return false;
    return IRequester->show(localise(KT_TR("Error", "Error")), tmptxt,
                            localise(KT_TR("Error", "OK")));
}

BOOL error_requestf(CONST_STRPTR fmt, ...)
{
    std::va_list args;
    va_start(args, fmt);
    const BOOL shown = request(fmt, args);
    va_end(args);
    return shown;
}

// In the requester, or on standard output while there is none.
__attribute__((format(printf, 1, 2))) static void tell(CONST_STRPTR fmt, ...)
{
    std::va_list args;
    va_start(args, fmt);
    std::va_list again;
    va_copy(again, args);
    if (!request(fmt, args))
        std::vprintf(fmt, again);
    va_end(again);
    va_end(args);
}

BOOL getLibIFace(Library **libbase, CONST_STRPTR libname, int32 version, Interface **ifptr)
{
    *libbase = platform::OpenLibrary(libname, version);
    if (!*libbase) {
        tell(KT_TR("Error", "Unable to open '%s', version %ld+"), libname,
             static_cast<long>(version));
        return false;
    }
    *ifptr = platform::GetInterface(*libbase, "main", 1);
    if (!*ifptr) {
        tell(KT_TR("Error", "Unable to obtain the main interface for %s"), libname);
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
