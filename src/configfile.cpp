#include "configfile.h"

#include "platform/exec.h"
#include "platform/files.h"
#include "util.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

using platform::List;
using platform::MemKind;
using platform::Node;

namespace {

constexpr CONST_STRPTR PREFS_FILE = "Karthos.prefs";
constexpr uint32 VALUE_ROOM = 64; // spare bytes in a value buffer, so small edits fit

unsigned char ascii_lower(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// Names compare without regard to ASCII letter case only, whatever the locale says.
bool names_equal(CONST_STRPTR a, CONST_STRPTR b)
{
    for (;; ++a, ++b) {
        const unsigned char ca = ascii_lower(static_cast<unsigned char>(*a));
        if (ca != ascii_lower(static_cast<unsigned char>(*b)))
            return false;
        if (ca == '\0')
            return true;
    }
}

uint32 name_hash(CONST_STRPTR name)
{
    uint32 h = 2166136261u; // FNV-1a over the folded bytes
    for (; *name; ++name) h = (h ^ ascii_lower(static_cast<unsigned char>(*name))) * 16777619u;
    return h;
}

// A hash index over the records of one list, so that a file of many options loads
// in linear time. The list stays the authority on order; the index only finds. Slots
// keep each record's hash beside it, so a probe touches a record only when the hash
// matches. When memory for the index runs short it keeps what it has, or falls back
// to walking the list: the store works the same, only slower.
template <class Rec> class NameIndex {
  public:
    NameIndex() = default;
    ~NameIndex() { delete[] slots_; }
    NameIndex(const NameIndex &) = delete;
    NameIndex &operator=(const NameIndex &) = delete;

    Rec *find(const List &list, CONST_STRPTR name) const
    {
        if (!slots_) {
            for (Node *n = platform::get_head(list); n; n = platform::get_succ(n))
                if (names_equal(n->name, name))
                    return reinterpret_cast<Rec *>(n);
            return nullptr;
        }
        const uint32 h = name_hash(name);
        for (std::size_t i = h & mask_; slots_[i].rec; i = (i + 1) & mask_)
            if (slots_[i].hash == h && names_equal(slots_[i].rec->ln.name, name))
                return slots_[i].rec;
        return nullptr;
    }

    // `rec` has just been appended to `list`.
    void add(const List &list, Rec *rec)
    {
        ++count_;
        if (count_ > max_load() && rebuild(list, slots_ ? 2 * (mask_ + 1) : 4 * LINEAR_LIMIT))
            return;                       // the rebuild took in `rec` from the list
        if (slots_ && count_ < mask_ + 1) // always leave a free slot to end probes
            insert(rec);
        else
            drop(); // cannot grow: find walks the list again
    }

  private:
    struct Slot {
        uint32 hash;
        Rec *rec;
    };

    static constexpr std::size_t LINEAR_LIMIT = 8; // short lists are walked

    // At most three quarters full, so that probe runs stay short.
    std::size_t max_load() const { return slots_ ? (mask_ + 1) / 4 * 3 : LINEAR_LIMIT; }

    void insert(Rec *rec)
    {
        const uint32 h = name_hash(rec->ln.name);
        std::size_t i = h & mask_;
        while (slots_[i].rec) i = (i + 1) & mask_;
        slots_[i] = {h, rec};
    }

    bool rebuild(const List &list, std::size_t size)
    {
        Slot *fresh = new (std::nothrow) Slot[size]();
        if (!fresh)
            return false;
        delete[] slots_;
        slots_ = fresh;
        mask_ = size - 1;
        for (Node *n = platform::get_head(list); n; n = platform::get_succ(n))
            insert(reinterpret_cast<Rec *>(n));
        return true;
    }

    void drop()
    {
        delete[] slots_;
        slots_ = nullptr;
        mask_ = 0;
    }

    Slot *slots_ = nullptr;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
};

struct confoption {
    Node ln; // ln.name points at the key, stored right behind the record
    uint32 valbuflen;
    STRPTR val;
};

struct OptionList {
    List list;
    NameIndex<confoption> index;
};

struct confsection {
    Node ln; // ln.name points at the section's name, stored right behind the record
    OptionList *options;
};

struct SectionList {
    List list;
    NameIndex<confsection> index;
};

SectionList *conflist = nullptr;

// Memory from the platform, given back unless ownership is released.
template <class T> struct PlatformMem {
    T *ptr;
    explicit PlatformMem(void *mem) : ptr(static_cast<T *>(mem)) {}
    ~PlatformMem() { platform::free_mem(ptr); }
    PlatformMem(const PlatformMem &) = delete;
    PlatformMem &operator=(const PlatformMem &) = delete;
    T *release() { return std::exchange(ptr, nullptr); }
};

// One allocation holding the record and, behind it, a copy of `name`.
template <class Rec> Rec *new_named_record(CONST_STRPTR name)
{
    const std::size_t len = std::strlen(name);
    void *mem = platform::alloc_mem(MemKind::node, sizeof(Rec) + len + 1);
    if (!mem)
        return nullptr;
    Rec *rec = new (mem) Rec{};
    rec->ln.name = static_cast<char *>(mem) + sizeof(Rec);
    std::memcpy(rec->ln.name, name, len + 1);
    return rec;
}

template <class L> L *new_list()
{
    void *mem = platform::alloc_mem(MemKind::list, sizeof(L));
    return mem ? new (mem) L{} : nullptr;
}

template <class L> void free_list(L *list)
{
    list->~L();
    platform::free_mem(list);
}

// A zero-filled value buffer with room for `len` bytes of text plus VALUE_ROOM.
STRPTR new_value_buffer(std::size_t len, uint32 &buflen)
{
    if (len > UINT32_MAX - VALUE_ROOM)
        return nullptr;
    buflen = static_cast<uint32>(len) + VALUE_ROOM;
    return static_cast<STRPTR>(platform::alloc_mem(MemKind::buffer, buflen));
}

confsection *find_section(CONST_STRPTR name, BOOL create_if_not_found)
{
    if (confsection *found = conflist->index.find(conflist->list, name))
        return found;
    if (!create_if_not_found)
        return nullptr;

    PlatformMem<confsection> sec(new_named_record<confsection>(name));
    if (!sec.ptr) {
        error_requestf("Out of memory");
        return nullptr;
    }
    sec.ptr->options = new_list<OptionList>();
    if (!sec.ptr->options) {
        error_requestf("Out of memory");
        return nullptr;
    }
    confsection *csec = sec.release();
    platform::add_tail(conflist->list, &csec->ln);
    conflist->index.add(conflist->list, csec);
    return csec;
}

BOOL set_option(confsection *csec, CONST_STRPTR key, CONST_STRPTR val)
{
    if (!csec)
        return false;
    const std::size_t len = std::strlen(val);

    if (confoption *opt = csec->options->index.find(csec->options->list, key)) {
        if (opt->valbuflen < len + 1) {
            uint32 buflen = 0;
            STRPTR buf = new_value_buffer(len, buflen);
            if (!buf) {
                error_requestf("Out of memory");
                return false;
            }
            platform::free_mem(opt->val);
            opt->val = buf;
            opt->valbuflen = buflen;
        }
        std::memcpy(opt->val, val, len + 1);
        return true;
    }

    PlatformMem<confoption> opt(new_named_record<confoption>(key));
    if (!opt.ptr) {
        error_requestf("Out of memory");
        return false;
    }
    opt.ptr->val = new_value_buffer(len, opt.ptr->valbuflen);
    if (!opt.ptr->val) {
        error_requestf("Out of memory");
        return false;
    }
    std::memcpy(opt.ptr->val, val, len + 1);
    confoption *added = opt.release();
    platform::add_tail(csec->options->list, &added->ln);
    csec->options->index.add(csec->options->list, added);
    return true;
}

CONST_STRPTR get_option(const confsection *csec, CONST_STRPTR key, CONST_STRPTR defval)
{
    if (!csec)
        return defval;
    const confoption *opt = csec->options->index.find(csec->options->list, key);
    return opt ? opt->val : defval;
}

// The atoi rule, with a number too large for 32 bits held at the nearest limit.
int32 text_to_int(CONST_STRPTR text)
{
    while (*text && std::strchr(" \t\n\v\f\r", *text)) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    long long magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > INT32_MAX + 1LL)
            magnitude = INT32_MAX + 1LL;
    }
    const long long value = negative ? -magnitude : magnitude;
    return static_cast<int32>(value > INT32_MAX ? INT32_MAX : value);
}

// One line of the file, already stripped of its line end: a header, an option, or
// anything else (skipped). `current` is the section that options go to.
void parse_line(STRPTR line, confsection *&current)
{
    if (line[0] == '[') {
        STRPTR close = std::strchr(line + 1, ']');
        if (!close)
            return;
        *close = '\0';
        current = find_section(line + 1, true);
        return;
    }

    STRPTR p = line;
    while (isws(*p)) ++p;
    STRPTR key = p;
    while (!isws(*p) && !iseol(*p)) ++p;
    if (iseol(*p))
        return;
    STRPTR key_end = p;
    while (isws(*p)) ++p;
    if (*p++ != '=')
        return;
    while (isws(*p)) ++p;
    *key_end = '\0';
    set_option(current, key, p);
}

} // namespace

BOOL config_init()
{
    confsection *current = nullptr;
    conflist = new_list<SectionList>();
    if (!conflist) {
        error_requestf("Out of memory");
        return false;
    }

    platform::LineReader file(platform::progdir_path(PREFS_FILE));
    while (STRPTR line = file.next_line()) {
        std::size_t len = std::strlen(line);
        while (len > 0 && iseol(line[len - 1])) --len;
        if (len == 0)
            continue;
        line[len] = '\0';
        parse_line(line, current);
    }
    return true;
}

BOOL config_save()
{
    platform::FileReplacer file(platform::progdir_path(PREFS_FILE));
    if (!file.is_open()) {
        error_requestf("Unable to create Karthos.prefs");
        return false;
    }
    for (Node *s = platform::get_head(conflist->list); s; s = platform::get_succ(s)) {
        const confsection *csec = reinterpret_cast<const confsection *>(s);
        file.printf("[%s]\n\n", csec->ln.name);
        for (Node *o = platform::get_head(csec->options->list); o; o = platform::get_succ(o)) {
            const confoption *opt = reinterpret_cast<const confoption *>(o);
            file.printf("\t%s = %s\n", opt->ln.name, opt->val);
        }
        if (platform::get_succ(s))
            file.printf("\n");
    }
    if (!file.commit()) {
        error_requestf("Unable to create Karthos.prefs");
        return false;
    }
    return true;
}

void config_shut()
{
    if (!conflist)
        return;
    Node *s = platform::get_head(conflist->list);
    while (s) {
        Node *next_section = platform::get_succ(s);
        platform::remove_node(conflist->list, s);
        confsection *csec = reinterpret_cast<confsection *>(s);
        Node *o = platform::get_head(csec->options->list);
        while (o) {
            Node *next_option = platform::get_succ(o);
            platform::remove_node(csec->options->list, o);
            platform::free_mem(reinterpret_cast<confoption *>(o)->val);
            platform::free_mem(o);
            o = next_option;
        }
        free_list(csec->options);
        platform::free_mem(csec);
        s = next_section;
    }
    free_list(conflist);
    conflist = nullptr;
}

CONST_STRPTR config_get_option(CONST_STRPTR section, CONST_STRPTR key, CONST_STRPTR defval)
{
    return get_option(find_section(section, false), key, defval);
}

BOOL config_set_option(CONST_STRPTR section, CONST_STRPTR key, CONST_STRPTR val)
{
    return set_option(find_section(section, true), key, val);
}

int32 config_get_int(CONST_STRPTR section, CONST_STRPTR key, int32 defval)
{
    CONST_STRPTR text = config_get_option(section, key, nullptr);
    return text ? text_to_int(text) : defval;
}

BOOL config_set_int(CONST_STRPTR section, CONST_STRPTR key, int32 val)
{
    char text[32];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(val));
    return config_set_option(section, key, text);
}
