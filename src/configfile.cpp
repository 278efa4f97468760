#include "configfile.h"

#include "platform/files.h"
#include "platform/lists.h"
#include "platform/memory.h"
#include "util.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
// in linear time. The list stays the authority on order; the index only finds. Each
// record carries its name's hash, and so does each slot beside the record's address:
// a probe or a growth touches a record only when the hash matches. When memory for
// the index runs short it keeps what it has, or falls back to walking the list: the
// store works the same, only slower.
template <class Rec> class NameIndex {
  public:
    NameIndex() = default;
    ~NameIndex() { platform::free_mem(slots_); }
    NameIndex(const NameIndex &) = delete;
    NameIndex &operator=(const NameIndex &) = delete;

    Rec *find(const List &list, CONST_STRPTR name, uint32 hash) const
    {
        if (!slots_) {
            for (Node *n = platform::get_head(list); n; n = platform::get_succ(n)) {
                Rec *rec = reinterpret_cast<Rec *>(n);
                if (rec->hash == hash && names_equal(n->name, name))
                    return rec;
            }
            return nullptr;
        }
        for (std::size_t i = hash & mask_; slots_[i].rec; i = (i + 1) & mask_)
            if (slots_[i].hash == hash && names_equal(slots_[i].rec->ln.name, name))
                return slots_[i].rec;
        return nullptr;
    }

    // `rec` has just been appended to `list`.
    void add(const List &list, Rec *rec)
    {
        ++count_;
        if (count_ > max_load() && grow(list, rec))
            return;
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

    // Short lists are walked: their records lie side by side, and the hashes are
    // compared first.
    static constexpr std::size_t LINEAR_LIMIT = 16;

    // The smallest table that holds `count` records at most three quarters full.
    static std::size_t table_size_for(std::size_t count)
    {
        std::size_t size = 2 * LINEAR_LIMIT;
        while (size / 4 * 3 < count) size *= 2;
        return size;
    }

    // At most three quarters full, so that probe runs stay short.
    std::size_t max_load() const { return slots_ ? (mask_ + 1) / 4 * 3 : LINEAR_LIMIT; }

    void insert(Rec *rec) { insert_slot(slots_, mask_, {rec->hash, rec}); }

    static void insert_slot(Slot *slots, std::size_t mask, Slot slot)
    {
        std::size_t i = slot.hash & mask;
        while (slots[i].rec) i = (i + 1) & mask;
        slots[i] = slot;
    }

    // A larger table holding every record, `rec` among them: moved over from the old
    // table, or gathered from the list when there was none.
    bool grow(const List &list, Rec *rec)
    {
        const std::size_t size = table_size_for(count_);
        // Zero-filled memory is a table of empty slots.
        auto *fresh = static_cast<Slot *>(platform::alloc_mem(MemKind::index, size * sizeof(Slot)));
        if (!fresh)
            return false;
        if (slots_) {
            for (std::size_t i = 0; i <= mask_; ++i)
                if (slots_[i].rec)
                    insert_slot(fresh, size - 1, slots_[i]);
            insert_slot(fresh, size - 1, {rec->hash, rec});
        } else {
            for (Node *n = platform::get_head(list); n; n = platform::get_succ(n)) {
                Rec *r = reinterpret_cast<Rec *>(n);
                insert_slot(fresh, size - 1, {r->hash, r});
            }
        }
        platform::free_mem(slots_);
        slots_ = fresh;
        mask_ = size - 1;
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

// Records of one list, cut one after another from blocks that double in size up to
// a limit: a list of many options costs few allocations, and its records lie in the
// order of the list. They are given back all together, with the list.
class RecordPool {
  public:
    RecordPool() = default;
    ~RecordPool()
    {
        while (first_) platform::free_mem(std::exchange(first_, first_->next));
    }
    RecordPool(const RecordPool &) = delete;
    RecordPool &operator=(const RecordPool &) = delete;

    // Zero-filled room for `size` bytes, aligned for any record; null when out of memory.
    void *take(std::size_t size)
    {
        size = (size + ALIGN - 1) / ALIGN * ALIGN;
        if ((!last_ || last_->size - last_->used < size) && !add_block(size))
            return nullptr;
        void *mem = reinterpret_cast<char *>(last_) + last_->used;
        last_->used += size;
        return mem;
    }

  private:
    struct Block {
        Block *next;
        std::size_t size; // in bytes, this header included
        std::size_t used;
    };
    static constexpr std::size_t ALIGN = alignof(void *); // records hold pointers and uint32s
    static constexpr std::size_t FIRST_BLOCK = 2048;      // a section of a dozen options
    static constexpr std::size_t MAX_BLOCK = std::size_t{64} << 10;
    static_assert(sizeof(Block) % ALIGN == 0);

    bool add_block(std::size_t size)
    {
        if (size > SIZE_MAX - sizeof(Block))
            return false;
        const std::size_t block_size = std::max(next_size_, sizeof(Block) + size);
        void *mem = platform::alloc_mem(MemKind::node, block_size);
        if (!mem)
            return false;
        auto *block = new (mem) Block{nullptr, block_size, sizeof(Block)};
        (last_ ? last_->next : first_) = block;
        last_ = block;
        next_size_ = std::min(2 * next_size_, MAX_BLOCK);
        return true;
    }

    Block *first_ = nullptr;
    Block *last_ = nullptr;
    std::size_t next_size_ = FIRST_BLOCK;
};

// An option, from its section's pool. Read from the file, it keeps its value buffer
// right behind its key, in the pool too: a load makes thousands of options at once.
// Set by the program, it has a buffer of its own, as has any value that outgrew the
// buffer it had.
struct confoption {
    Node ln; // ln.name points at the key, stored right behind the record
    uint32 hash;
    uint32 keylen;
    uint32 vallen;
    uint32 valbuflen;
    STRPTR val;
    bool own_buffer; // else the value lies in the pool
};
static_assert(alignof(confoption) <= alignof(void *));

struct OptionList {
    List list;
    NameIndex<confoption> index;
    RecordPool pool;
    std::size_t own_buffers = 0; // values outside the pool

    OptionList() = default;
    ~OptionList()
    {
        for (Node *o = platform::get_head(list); o && own_buffers; o = platform::get_succ(o))
            if (auto *opt = reinterpret_cast<confoption *>(o); opt->own_buffer) {
                platform::free_mem(opt->val);
                --own_buffers;
            }
    }
    OptionList(const OptionList &) = delete;
    OptionList &operator=(const OptionList &) = delete;
};

struct confsection {
    Node ln; // ln.name points at the section's name, stored right behind the record
    uint32 hash;
    OptionList *options;
};

// What the last save wrote: the store as it was after that many changes.
struct SaveRecord {
    unsigned long changes;
    bool ok;
};

// The file's layout: "[%s]\n\n" for each section, "\t%s = %s\n" for each option, and
// "\n" between sections.
constexpr std::size_t HEADER_BYTES = sizeof "[]\n\n" - 1;
constexpr std::size_t OPTION_BYTES = sizeof "\t = \n" - 1;

// A setting that the program stores (the window's), with the value it had for the
// player when the window opened, in the words it is stored in; else the value the
// store held when the program first stored it. The player changed it when it has
// another value at a save.
struct ShownValue {
    std::string section, key;
    std::optional<std::string> value; // nullopt: none
    bool stored = false;              // by the program, since the last save
};

// The file as the store last stood on it: as read at start-up, or as last written.
struct KnownFile {
    bool exists = false;
    platform::FileStamp stamp;
    std::size_t hash = 0; // of its bytes
};

struct SectionList {
    List list;
    NameIndex<confsection> index;
    unsigned long changes = 0;  // sections and options added or changed so far
    unsigned long failures = 0; // "Out of memory" told while storing
    std::optional<SaveRecord> last_save;
    bool keep_file = false; // the file exists but could not be read: never replaced
    KnownFile known;
    std::vector<ShownValue> shown;
    // What the file's text will take, kept up to date so that a save need not walk
    // the store twice: every line but those between sections, and the sections.
    std::size_t text_bytes = 0;
    std::size_t sections = 0;
};

SectionList *conflist = nullptr;
bool noting_shown = false; // config_set_option notes the shown value, and stores nothing

// Memory from the platform, given back unless ownership is released.
template <class T> struct PlatformMem {
    T *ptr;
    explicit PlatformMem(void *mem) : ptr(static_cast<T *>(mem)) {}
    ~PlatformMem() { platform::free_mem(ptr); }
    PlatformMem(const PlatformMem &) = delete;
    PlatformMem &operator=(const PlatformMem &) = delete;
    T *release() { return std::exchange(ptr, nullptr); }
};

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

// The size of a value buffer with room for `len` bytes of text plus VALUE_ROOM; 0
// when that is more than a buffer can be.
uint32 value_buffer_size(std::size_t len)
{
    return len > UINT32_MAX - VALUE_ROOM ? 0 : static_cast<uint32>(len) + VALUE_ROOM;
}

confsection *find_section(CONST_STRPTR name, BOOL create_if_not_found)
{
    const uint32 hash = name_hash(name);
    if (confsection *found = conflist->index.find(conflist->list, name, hash))
        return found;
    if (!create_if_not_found)
        return nullptr;

    // One allocation holds the record and, behind it, a copy of the name.
    const std::size_t len = std::strlen(name);
    PlatformMem<confsection> sec(platform::alloc_mem(MemKind::node, sizeof(confsection) + len + 1));
    if (sec.ptr) {
        new (sec.ptr) confsection{};
        sec.ptr->ln.name = reinterpret_cast<char *>(sec.ptr) + sizeof(confsection);
        std::memcpy(sec.ptr->ln.name, name, len + 1);
        sec.ptr->hash = hash;
        sec.ptr->options = new_list<OptionList>();
    }
    if (!sec.ptr || !sec.ptr->options) {
        ++conflist->failures;
        error_requestf(KT_TR("Error", "Out of memory"));
        return nullptr;
    }
    confsection *csec = sec.release();
    ++conflist->changes;
    conflist->text_bytes += len + HEADER_BYTES;
    ++conflist->sections;
    platform::add_tail(conflist->list, &csec->ln);
    conflist->index.add(conflist->list, csec);
    return csec;
}

// A new option with a copy of `key` (`keylen` bytes) and of `val` (`len` bytes), its
// value buffer in the pool or not; null when out of memory.
confoption *new_option(OptionList &options, CONST_STRPTR key, std::size_t keylen, uint32 hash,
                       CONST_STRPTR val, std::size_t len, bool value_in_pool)
{
    const uint32 buflen = value_buffer_size(len);
    if (buflen == 0 || keylen > UINT32_MAX)
        return nullptr;
    PlatformMem<char> own(value_in_pool ? nullptr : platform::alloc_mem(MemKind::buffer, buflen));
    if (!value_in_pool && !own.ptr)
        return nullptr;
    void *mem = options.pool.take(sizeof(confoption) + keylen + 1 + (value_in_pool ? buflen : 0));
    if (!mem)
        return nullptr;
    auto *opt = new (mem) confoption{};
    opt->ln.name = static_cast<char *>(mem) + sizeof(confoption);
    std::memcpy(opt->ln.name, key, keylen);
    opt->ln.name[keylen] = '\0';
    opt->hash = hash;
    opt->keylen = static_cast<uint32>(keylen);
    opt->vallen = static_cast<uint32>(len);
    opt->valbuflen = buflen;
    opt->val = value_in_pool ? opt->ln.name + keylen + 1 : own.release();
    opt->own_buffer = !value_in_pool;
    std::memcpy(opt->val, val, len); // the pool's memory and the buffer come zero-filled
    options.own_buffers += value_in_pool ? 0 : 1;
    return opt;
}

// A new value for an existing option: in place when it fits, else in a new buffer.
BOOL replace_value(OptionList &options, confoption *opt, CONST_STRPTR val, std::size_t len)
{
    if (std::strcmp(opt->val, val) == 0)
        return true;
    if (opt->valbuflen < len + 1) {
        const uint32 buflen = value_buffer_size(len);
        STRPTR buf =
            buflen ? static_cast<STRPTR>(platform::alloc_mem(MemKind::buffer, buflen)) : nullptr;
        if (!buf) {
            ++conflist->failures;
            error_requestf(KT_TR("Error", "Out of memory"));
            return false;
        }
        if (opt->own_buffer)
            platform::free_mem(opt->val);
        else
            ++options.own_buffers;
        opt->val = buf;
        opt->own_buffer = true;
        opt->valbuflen = buflen;
    }
    std::memcpy(opt->val, val, len + 1);
    conflist->text_bytes = conflist->text_bytes - opt->vallen + len;
    opt->vallen = static_cast<uint32>(len);
    ++conflist->changes;
    return true;
}

// Stores `val` under the `keylen` bytes of `key`, NUL-terminated.
BOOL set_option(confsection *csec, CONST_STRPTR key, std::size_t keylen, CONST_STRPTR val,
                bool from_file)
{
    if (!csec)
        return false;
    const std::size_t len = std::strlen(val);
    const uint32 hash = name_hash(key);
    OptionList &options = *csec->options;
    if (confoption *opt = options.index.find(options.list, key, hash))
        return replace_value(options, opt, val, len);

    confoption *added = new_option(options, key, keylen, hash, val, len, from_file);
    if (!added) {
        ++conflist->failures;
        error_requestf(KT_TR("Error", "Out of memory"));
        return false;
    }
    ++conflist->changes;
    conflist->text_bytes += keylen + len + OPTION_BYTES;
    platform::add_tail(options.list, &added->ln);
    options.index.add(options.list, added);
    return true;
}

CONST_STRPTR get_option(const confsection *csec, CONST_STRPTR key, CONST_STRPTR defval)
{
    if (!csec)
        return defval;
    const confoption *opt = csec->options->index.find(csec->options->list, key, name_hash(key));
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
    set_option(current, key, static_cast<std::size_t>(key_end - key), p, true);
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
    return conflist->text_bytes + (conflist->sections ? conflist->sections - 1 : 0);
}

char *append(char *out, CONST_STRPTR text, std::size_t len)
{
    std::memcpy(out, text, len);
    return out + len;
}

// The store in the file's layout. `out` has room for text_size() bytes.
void write_text(char *out)
{
    for (Node *s = platform::get_head(conflist->list); s; s = platform::get_succ(s)) {
        *out++ = '[';
        out = append(out, s->name, std::strlen(s->name));
        out = append(out, "]\n\n", 3);
        const auto *csec = reinterpret_cast<const confsection *>(s);
        for (Node *o = platform::get_head(csec->options->list); o; o = platform::get_succ(o)) {
            const auto *opt = reinterpret_cast<const confoption *>(o);
            *out++ = '\t';
            out = append(out, o->name, opt->keylen);
            out = append(out, " = ", 3);
            out = append(out, opt->val, opt->vallen);
            *out++ = '\n';
        }
        if (platform::get_succ(s))
            *out++ = '\n';
    }
}

std::size_t bytes_hash(const char *data, std::size_t size)
{
    return std::hash<std::string_view>{}(std::string_view(data, size));
}

// The file's bytes as they are on disk now, and their stamp.
struct OnDisk {
    const char *data;
    std::size_t size;
    platform::FileStamp stamp;
};

ShownValue *find_shown(CONST_STRPTR section, CONST_STRPTR key)
{
    for (ShownValue &v : conflist->shown)
        if (names_equal(v.section.c_str(), section) && names_equal(v.key.c_str(), key))
            return &v;
    return nullptr;
}

std::optional<std::string> stored_value(CONST_STRPTR section, CONST_STRPTR key)
{
    CONST_STRPTR value = get_option(find_section(section, false), key, nullptr);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

// The store stands on the file now on disk (`stamp`, `hash`): what it holds counts as
// what the player saw.
void settle(const platform::FileStamp &stamp, std::size_t hash)
{
    conflist->known = {true, stamp, hash};
    for (ShownValue &v : conflist->shown)
        if (v.stored) {
            v.value = stored_value(v.section.c_str(), v.key.c_str());
            v.stored = false;
        }
}

BOOL write_file(const std::string &path, const OnDisk *disk)
{
    const std::size_t size = text_size();
    if (size > platform::MAX_READ_SIZE) { // what the launcher writes, it must read again
        error_requestf(KT_TR("Error", "Unable to create Karthos.prefs\n%s: %s"), path.c_str(),
                       platform::file_error_text(platform::FILE_TOO_LARGE).c_str());
        return false;
    }
    PlatformMem<char> text(platform::alloc_mem(MemKind::buffer, size + 1));
    if (!text.ptr) {
        error_requestf(KT_TR("Error", "Out of memory"));
        return false;
    }
    write_text(text.ptr);
    // The file has these bytes already: it is not written, so that a file or a
    // directory that is not the player's to write is no error.
    if (disk && disk->size == size && std::memcmp(disk->data, text.ptr, size) == 0) {
        settle(disk->stamp, bytes_hash(text.ptr, size));
        return true;
    }
    platform::FileStamp written;
    if (const int error = platform::replace_file(path, text.ptr, size, &written)) {
        error_requestf(KT_TR("Error", "Unable to create Karthos.prefs\n%s: %s"), path.c_str(),
                       platform::file_error_text(error).c_str());
        return false;
    }
    settle(written, bytes_hash(text.ptr, size));
    return true;
}

void free_store(SectionList *store)
{
    for (Node *s = platform::get_head(store->list); s;) {
        auto *csec = reinterpret_cast<confsection *>(s);
        s = platform::get_succ(s); // before the section goes
        free_list(csec->options);  // the options go with their pool
        platform::free_mem(csec);
    }
    free_list(store);
}

struct Change {
    std::string section, key, value;
};

// The settings the player changed: stored since the last save with another value
// than the one shown.
std::vector<Change> player_changes()
{
    std::vector<Change> changes;
    for (const ShownValue &v : conflist->shown) {
        if (!v.stored)
            continue;
        const std::optional<std::string> now = stored_value(v.section.c_str(), v.key.c_str());
        if (now && now != v.value)
            changes.push_back({v.section, v.key, *now});
    }
    return changes;
}

// Another writer changed the file since the store was read from it (or written to it):
// the player's own changes go on top of what is there now, and the rest of the file
// stays as that writer left it. Without a change of the player's, nothing is written.
BOOL merge_into_file(const std::string &path, platform::FileContents *disk)
{
    const std::vector<Change> changes = player_changes();
    if (changes.empty())
        return true;
    const std::string before = disk ? std::string(disk->data(), disk->size()) : std::string();
    SectionList *const mine = conflist;
    SectionList *const theirs = new_list<SectionList>();
    if (!theirs) {
        error_requestf(KT_TR("Error", "Out of memory"));
        return false;
    }
    conflist = theirs;
    if (disk)
        parse_text(disk->data(), disk->size());
    for (const Change &c : changes)
        set_option(find_section(c.section.c_str(), true), c.key.c_str(), c.key.size(),
                   c.value.c_str(), false);
    if (theirs->failures) { // told: writing now would lose some of the other writer's file
        free_store(theirs);
        conflist = mine;
        return false;
    }
    theirs->changes = mine->changes;
    theirs->last_save = mine->last_save;
    theirs->known = mine->known;
    theirs->shown = std::move(mine->shown);
    free_store(mine);
    const OnDisk now{before.data(), before.size(), disk ? disk->stamp() : platform::FileStamp{}};
    return write_file(path, disk ? &now : nullptr);
}

// Writes the store, unless the file changed on disk since the store last stood on it:
// then merges. A file that can no longer be read is left alone.
BOOL save_file(const std::string &path)
{
    platform::FileContents disk;
    const int error = platform::read_whole_file(path, disk);
    if (error && error != ENOENT) {
        error_requestf(KT_TR("Error", "Unable to read Karthos.prefs\n%s: %s"), path.c_str(),
                       platform::file_error_text(error).c_str());
        return false;
    }
    const KnownFile &known = conflist->known;
    const bool exists = error == 0;
    if (exists != known.exists || (exists && (disk.stamp() != known.stamp ||
                                              bytes_hash(disk.data(), disk.size()) != known.hash)))
        return merge_into_file(path, exists ? &disk : nullptr);
    const OnDisk now{disk.data(), disk.size(), disk.stamp()};
    return write_file(path, exists ? &now : nullptr);
}

} // namespace

BOOL config_init()
{
    conflist = new_list<SectionList>();
    if (!conflist) {
        error_requestf(KT_TR("Error", "Out of memory"));
        return false;
    }
    const std::string path = platform::progdir_path(PREFS_FILE);
    if (path.empty()) { // never the current directory's file instead
        error_requestf(KT_TR("Error", "Unable to find the launcher's directory\n%s"),
                       platform::program_dir_error().c_str());
        return false;
    }
    platform::FileContents file;
    const int error = platform::read_whole_file(path, file);
    if (error == ENOENT)
        return true;
    if (error) {
        // The window opens on the defaults, but what it could not read it must not
        // overwrite: the file may hold the player's settings.
        conflist->keep_file = true;
        error_requestf(KT_TR("Error", "Unable to read Karthos.prefs\n%s: %s"), path.c_str(),
                       platform::file_error_text(error).c_str());
        return true;
    }
    conflist->known = {true, file.stamp(), bytes_hash(file.data(), file.size())};
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
    const BOOL ok = save_file(platform::progdir_path(PREFS_FILE));
    conflist->last_save = SaveRecord{conflist->changes, ok};
    return ok;
}

void config_shut()
{
    if (!conflist)
        return;
    free_store(conflist);
    conflist = nullptr;
}

CONST_STRPTR config_get_option(CONST_STRPTR section, CONST_STRPTR key, CONST_STRPTR defval)
{
    return get_option(find_section(section, false), key, defval);
}

BOOL config_set_option(CONST_STRPTR section, CONST_STRPTR key, CONST_STRPTR val)
{
    ShownValue *shown = find_shown(section, key);
    if (noting_shown) {
        if (shown)
            shown->value = val;
        else
            conflist->shown.push_back({section, key, val});
        return true;
    }
    if (shown)
        shown->stored = true;
    else
        conflist->shown.push_back({section, key, stored_value(section, key), true});
    return set_option(find_section(section, true), key, std::strlen(key), val, false);
}

void config_note_shown(void (*store_values)())
{
    noting_shown = true;
    store_values();
    noting_shown = false;
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
