#include "configfile.h"

#include "platform/files.h"
#include "platform/lists.h"
#include "platform/memory.h"
#include "util.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
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
    ~NameIndex() { platform::free_mem(slots_); }
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
        if (count_ > max_load() && rebuild(list, table_size_for(count_)))
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

    // The smallest table that holds `count` records at most three quarters full.
    static std::size_t table_size_for(std::size_t count)
    {
        std::size_t size = 4 * LINEAR_LIMIT;
        while (size / 4 * 3 < count) size *= 2;
        return size;
    }

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
        // Zero-filled memory is a table of empty slots.
        auto *fresh = static_cast<Slot *>(platform::alloc_mem(MemKind::index, size * sizeof(Slot)));
        if (!fresh)
            return false;
        platform::free_mem(slots_);
        slots_ = fresh;
        mask_ = size - 1;
        for (Node *n = platform::get_head(list); n; n = platform::get_succ(n))
            insert(reinterpret_cast<Rec *>(n));
        return true;
    }

    void drop()
    {
        platform::free_mem(slots_);
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

// What the last save wrote: the store as it was after that many changes.
struct SaveRecord {
    unsigned long changes;
    bool ok;
};

struct SectionList {
    List list;
    NameIndex<confsection> index;
    unsigned long changes = 0; // sections and options added or changed so far
    std::optional<SaveRecord> last_save;
    bool keep_file = false; // the file exists but could not be read: never replaced
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
    ++conflist->changes;
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
        if (std::strcmp(opt->val, val) == 0)
            return true;
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
        ++conflist->changes;
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
    ++conflist->changes;
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

// The whole text of a file: lines end at a line feed, a carriage return, or both
// together; a UTF-8 byte order mark before the first line is not part of it. Lines
// are cut in place, and a NUL byte ends its line.
void parse_text(STRPTR text, std::size_t size)
{
    STRPTR const end = text + size;
    if (size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0)
        text += 3;
    confsection *current = nullptr;
    while (text < end) {
        STRPTR eol = text;
        while (eol < end && *eol != '\n' && *eol != '\r') ++eol;
        STRPTR next = eol + 1;
        if (eol < end && *eol == '\r' && next < end && *next == '\n')
            ++next;
        *eol = '\0'; // at the end, the NUL the file's text always has behind it
        if (*text)
            parse_line(text, current);
        text = next;
    }
}

std::size_t text_size()
{
    std::size_t size = 0;
    for (Node *s = platform::get_head(conflist->list); s; s = platform::get_succ(s)) {
        size += std::strlen(s->name) + sizeof "[]\n\n" - 1 + (platform::get_succ(s) ? 1 : 0);
        const auto *csec = reinterpret_cast<const confsection *>(s);
        for (Node *o = platform::get_head(csec->options->list); o; o = platform::get_succ(o))
            size += std::strlen(o->name) + std::strlen(reinterpret_cast<confoption *>(o)->val) +
                    sizeof "\t = \n" - 1;
    }
    return size;
}

char *append(char *out, CONST_STRPTR text)
{
    return std::copy(text, text + std::strlen(text), out);
}

// The store in the file's layout: "[%s]\n\n" for each section, "\t%s = %s\n" for each
// option, and "\n" between sections. `out` has room for text_size() bytes.
void write_text(char *out)
{
    for (Node *s = platform::get_head(conflist->list); s; s = platform::get_succ(s)) {
        out = append(append(append(out, "["), s->name), "]\n\n");
        const auto *csec = reinterpret_cast<const confsection *>(s);
        for (Node *o = platform::get_head(csec->options->list); o; o = platform::get_succ(o)) {
            out = append(append(append(out, "\t"), o->name), " = ");
            out = append(append(out, reinterpret_cast<confoption *>(o)->val), "\n");
        }
        if (platform::get_succ(s))
            out = append(out, "\n");
    }
}

BOOL write_file(const std::string &path)
{
    const std::size_t size = text_size();
    PlatformMem<char> text(platform::alloc_mem(MemKind::buffer, size + 1));
    if (!text.ptr) {
        error_requestf("Out of memory");
        return false;
    }
    write_text(text.ptr);
    if (const int error = platform::replace_file(path, text.ptr, size)) {
        error_requestf("Unable to create Karthos.prefs\n%s: %s", path.c_str(),
                       platform::file_error_text(error).c_str());
        return false;
    }
    return true;
}

} // namespace

BOOL config_init()
{
    conflist = new_list<SectionList>();
    if (!conflist) {
        error_requestf("Out of memory");
        return false;
    }
    const std::string path = platform::progdir_path(PREFS_FILE);
    platform::FileContents file;
    const int error = platform::read_whole_file(path, file);
    if (error == ENOENT)
        return true;
    if (error) {
        // The window opens on the defaults, but what it could not read it must not
        // overwrite: the file may hold the player's settings.
        conflist->keep_file = true;
        error_requestf("Unable to read Karthos.prefs\n%s: %s", path.c_str(),
                       platform::file_error_text(error).c_str());
        return true;
    }
    parse_text(file.data(), file.size());
    return true;
}

BOOL config_save()
{
    if (conflist->keep_file)
        return false; // the player was told at start-up
    // The store as it was last written, or as it last failed to be (the player has
    // been told): writing it again would only undo what others wrote since, such as
    // the game that was just started.
    if (conflist->last_save && conflist->last_save->changes == conflist->changes)
        return conflist->last_save->ok;
    const BOOL ok = write_file(platform::progdir_path(PREFS_FILE));
    conflist->last_save = SaveRecord{conflist->changes, ok};
    return ok;
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
    if (!text)
        return defval;
    int32 value = 0; // the atoi rule: no digits read as 0
    scan_int32(text, 10, &value);
    return value;
}

BOOL config_set_int(CONST_STRPTR section, CONST_STRPTR key, int32 val)
{
    char text[32];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(val));
    return config_set_option(section, key, text);
}
