#include "tavro/core/TavroText.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <utility>

#include "platform/foundation/PreferredLanguages.h"

namespace tavro {

std::string L(std::string_view english, std::string_view japanese) {
    const auto first = fnd::PreferredLanguages::first();
    if (first && first->starts_with("ja")) return std::string(japanese);
    return std::string(english);
}

namespace TavroText {

namespace {

bool isAscii(std::string_view text) {
    for (const unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

// A view of a text that is guaranteed to be valid UTF-8: the text itself, or a repaired copy.
class Valid {
public:
    explicit Valid(std::string_view text) {
        if (isValidUTF8(text)) {
            view_ = text;
        } else {
            storage_ = repaired(text);
            view_ = storage_;
        }
    }
    Valid(const Valid&) = delete;
    Valid& operator=(const Valid&) = delete;
    std::string_view view() const { return view_; }

private:
    std::string storage_;
    std::string_view view_;
};

// Opens a UText over valid UTF-8 without copying it; native indexes are byte offsets.
struct Utf8Text {
    UText text = UTEXT_INITIALIZER;
    explicit Utf8Text(std::string_view bytes) {
        UErrorCode status = U_ZERO_ERROR;
        utext_openUTF8(&text, bytes.data(), static_cast<int64_t>(bytes.size()), &status);
    }
    Utf8Text(const Utf8Text&) = delete;
    Utf8Text& operator=(const Utf8Text&) = delete;
    ~Utf8Text() { utext_close(&text); }
};

// One character-boundary iterator per thread (creating one loads the rules, which is slow).
icu::BreakIterator* threadGraphemeIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) it.reset();
        return it;
    }();
    return iterator.get();
}

// Character (grapheme cluster) boundaries of a valid UTF-8 text. ASCII texts take a fast path in
// which every byte is a character except CR LF, which is one.
class Boundaries {
public:
    explicit Boundaries(std::string_view valid) : text_(valid), ascii_(isAscii(valid)) {
        if (ascii_ || text_.empty()) return;
        iterator_ = threadGraphemeIterator();
        if (!iterator_) return;
        Utf8Text ut(text_);
        UErrorCode status = U_ZERO_ERROR;
        iterator_->setText(&ut.text, status);  // keeps a shallow clone over the same bytes
        if (U_FAILURE(status)) iterator_ = nullptr;
    }
    Boundaries(const Boundaries&) = delete;
    Boundaries& operator=(const Boundaries&) = delete;

    // The boundary after pos (pos < size).
    std::size_t following(std::size_t pos) const {
        if (ascii_) {
            if (text_[pos] == '\r' && pos + 1 < text_.size() && text_[pos + 1] == '\n') return pos + 2;
            return pos + 1;
        }
        if (iterator_) {
            const auto next = iterator_->following(static_cast<int32_t>(pos));
            return next == icu::BreakIterator::DONE ? text_.size() : static_cast<std::size_t>(next);
        }
        int32_t i = static_cast<int32_t>(pos);
        U8_FWD_1(text_.data(), i, static_cast<int32_t>(text_.size()));
        return static_cast<std::size_t>(i);
    }

    // The boundary before pos (pos > 0).
    std::size_t preceding(std::size_t pos) const {
        if (ascii_) {
            if (text_[pos - 1] == '\n' && pos >= 2 && text_[pos - 2] == '\r') return pos - 2;
            return pos - 1;
        }
        if (iterator_) {
            const auto prev = iterator_->preceding(static_cast<int32_t>(pos));
            return prev == icu::BreakIterator::DONE ? 0 : static_cast<std::size_t>(prev);
        }
        int32_t i = static_cast<int32_t>(pos);
        U8_BACK_1(reinterpret_cast<const uint8_t*>(text_.data()), 0, i);
        return static_cast<std::size_t>(i);
    }

private:
    std::string_view text_;
    bool ascii_;
    icu::BreakIterator* iterator_ = nullptr;
};

std::vector<std::string_view> split(std::string_view valid) {
    std::vector<std::string_view> out;
    out.reserve(valid.size());
    const Boundaries bounds(valid);
    for (std::size_t pos = 0; pos < valid.size();) {
        const auto next = bounds.following(pos);
        out.push_back(valid.substr(pos, next - pos));
        pos = next;
    }
    return out;
}

template <class Pred>
bool allCodePoints(std::string_view valid, Pred pred) {
    const auto* s = reinterpret_cast<const uint8_t*>(valid.data());
    const auto n = static_cast<int32_t>(valid.size());
    for (int32_t i = 0; i < n;) {
        UChar32 c;
        U8_NEXT(s, i, n, c);
        if (!pred(c)) return false;
    }
    return true;
}

// Trims characters all of whose code points satisfy pred from both ends.
template <class Pred>
std::string trimWith(std::string_view text, Pred pred) {
    const Valid valid(text);
    const auto v = valid.view();
    const Boundaries bounds(v);
    std::size_t begin = 0;
    while (begin < v.size()) {
        const auto next = bounds.following(begin);
        if (!allCodePoints(v.substr(begin, next - begin), pred)) break;
        begin = next;
    }
    std::size_t end = v.size();
    while (end > begin) {
        const auto prev = bounds.preceding(end);
        if (!allCodePoints(v.substr(prev, end - prev), pred)) break;
        end = prev;
    }
    return std::string(v.substr(begin, end - begin));
}

bool isWhite(UChar32 c) { return u_isUWhiteSpace(c); }

std::vector<UChar32> codePoints(std::string_view text) {
    const Valid valid(text);
    const auto v = valid.view();
    std::vector<UChar32> out;
    const auto* s = reinterpret_cast<const uint8_t*>(v.data());
    const auto n = static_cast<int32_t>(v.size());
    for (int32_t i = 0; i < n;) {
        UChar32 c;
        U8_NEXT(s, i, n, c);
        out.push_back(c);
    }
    return out;
}

std::string toUTF8(const icu::UnicodeString& s) {
    std::string out;
    s.toUTF8String(out);
    return out;
}

// ---- Compiled-pattern cache ----

// Regex work is counted in steps of the match engine (about ten thousand operations each); a
// match that needs more is abandoned. Ordinary patterns over screen-sized texts stay far below.
constexpr int32_t kTimeLimitSteps = 200;
// Beyond this many distinct patterns the cache starts afresh, so texts used as patterns cannot
// grow it without bound.
constexpr std::size_t kCacheCapacity = 4096;

struct Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;  // null: the pattern does not compile
};
using CompiledPtr = std::shared_ptr<const Compiled>;

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using PatternMap = std::unordered_map<std::string, CompiledPtr, StringHash, std::equal_to<>>;

struct PatternCache {
    std::shared_mutex lock;
    PatternMap maps[2];  // [caseInsensitive]
    std::atomic<std::uint64_t> compiles{0};
};

PatternCache& cache() {
    static PatternCache c;
    return c;
}

CompiledPtr compiled(std::string_view pattern, bool caseInsensitive) {
    auto& c = cache();
    auto& map = c.maps[caseInsensitive ? 1 : 0];
    {
        std::shared_lock read(c.lock);
        if (auto it = map.find(pattern); it != map.end()) return it->second;
    }
    auto entry = std::make_shared<Compiled>();
    {
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError{};
        const uint32_t flags = caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0;
        entry->pattern.reset(icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(icu::StringPiece(
                                                            pattern.data(), static_cast<int32_t>(pattern.size()))),
                                                        flags, parseError, status));
        if (U_FAILURE(status)) entry->pattern.reset();
        c.compiles.fetch_add(1, std::memory_order_relaxed);
    }
    std::unique_lock write(c.lock);
    if (auto it = map.find(pattern); it != map.end()) return it->second;  // another thread won
    if (c.maps[0].size() + c.maps[1].size() >= kCacheCapacity) {
        c.maps[0].clear();
        c.maps[1].clear();
    }
    CompiledPtr result = entry;
    map.emplace(std::string(pattern), result);
    return result;
}

// Matchers are reused per thread (creating one allocates its backtracking stack). Each slot keeps
// its pattern alive, so a cache reset cannot leave a matcher without its pattern.
class ThreadMatcher {
public:
    ThreadMatcher(const CompiledPtr& compiled, std::string_view valid) : text_(valid) {
        struct Slot {
            CompiledPtr owner;
            std::unique_ptr<icu::RegexMatcher> matcher;
        };
        thread_local std::unordered_map<const Compiled*, Slot> slots;
        auto it = slots.find(compiled.get());
        if (it == slots.end()) {
            UErrorCode status = U_ZERO_ERROR;
            std::unique_ptr<icu::RegexMatcher> m(compiled->pattern->matcher(status));
            if (U_FAILURE(status) || !m) return;
            m->setTimeLimit(kTimeLimitSteps, status);
            if (slots.size() >= 64) slots.clear();
            it = slots.emplace(compiled.get(), Slot{compiled, std::move(m)}).first;
        }
        matcher_ = it->second.matcher.get();
        matcher_->reset(&text_.text);  // shallow clone over the same bytes
    }
    ThreadMatcher(const ThreadMatcher&) = delete;
    ThreadMatcher& operator=(const ThreadMatcher&) = delete;

    icu::RegexMatcher* get() const { return matcher_; }

private:
    Utf8Text text_;
    icu::RegexMatcher* matcher_ = nullptr;
};

// Finds the next match; a time-out or stack overflow counts as no match.
bool findNext(icu::RegexMatcher& m) {
    UErrorCode status = U_ZERO_ERROR;
    const bool found = m.find(status);
    return found && U_SUCCESS(status);
}

std::string groupText(icu::RegexMatcher& m, int32_t group, std::string_view valid) {
    UErrorCode status = U_ZERO_ERROR;
    const int64_t start = m.start64(group, status);
    const int64_t end = m.end64(group, status);
    if (U_FAILURE(status) || start < 0 || end < start) return {};
    return std::string(valid.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

}  // namespace

// ---- UTF-8 ----

bool isValidUTF8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + len > n) return false;
        if (s[i + 1] < lo || s[i + 1] > hi) return false;
        for (std::size_t k = 2; k < len; ++k)
            if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
        i += len;
    }
    return true;
}

std::string repaired(std::string_view text) {
    if (isValidUTF8(text)) return std::string(text);
    return toUTF8(icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size()))));
}

// ---- Characters ----

std::size_t count(std::string_view text) {
    const Valid valid(text);
    const auto v = valid.view();
    const Boundaries bounds(v);
    std::size_t n = 0;
    for (std::size_t pos = 0; pos < v.size(); pos = bounds.following(pos)) ++n;
    return n;
}

std::string prefix(std::string_view text, std::size_t n) {
    const Valid valid(text);
    const auto v = valid.view();
    const Boundaries bounds(v);
    std::size_t pos = 0;
    for (std::size_t taken = 0; taken < n && pos < v.size(); ++taken) pos = bounds.following(pos);
    return std::string(v.substr(0, pos));
}

std::vector<std::string> characters(std::string_view text) {
    const Valid valid(text);
    std::vector<std::string> out;
    for (const auto c : split(valid.view())) out.emplace_back(c);
    return out;
}

std::string trim(std::string_view text) { return trimWith(text, isWhite); }

std::string trimBlanks(std::string_view text) {
    return trimWith(text, [](UChar32 c) { return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR; });
}

std::string trim(std::string_view text, std::string_view chars) {
    const auto set = codePoints(chars);
    return trimWith(text, [&set](UChar32 c) { return std::find(set.begin(), set.end(), c) != set.end(); });
}

std::string lower(std::string_view text) {
    if (isAscii(text)) {
        std::string out(text);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    auto s = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    s.toLower(icu::Locale::getRoot());
    return toUTF8(s);
}

bool containsIgnoringCase(std::string_view text, std::string_view needle) {
    return lower(text).find(lower(needle)) != std::string::npos;
}

// ---- Name comparison ----

void appendNorm(std::string_view text, std::string& out) {
    if (isAscii(text)) {
        // Written in place: no growth check per character.
        const auto start = out.size();
        out.resize(start + text.size());
        char* p = out.data() + start;
        for (const char c : text) {
            if (c >= 'A' && c <= 'Z') *p++ = static_cast<char>(c - 'A' + 'a');
            else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) *p++ = c;
        }
        out.resize(static_cast<std::size_t>(p - out.data()));
        return;
    }
    // Lower-case, then keep each character whose base code point is a letter or a number,
    // together with its combining marks.
    const std::string lowered = lower(text);
    const Boundaries bounds(lowered);
    out.reserve(out.size() + lowered.size());
    for (std::size_t pos = 0; pos < lowered.size();) {
        const auto next = bounds.following(pos);
        UChar32 base;
        int32_t i = static_cast<int32_t>(pos);
        U8_NEXT(reinterpret_cast<const uint8_t*>(lowered.data()), i, static_cast<int32_t>(lowered.size()), base);
        if (U_GET_GC_MASK(base) & (U_GC_L_MASK | U_GC_N_MASK)) out.append(lowered, pos, next - pos);
        pos = next;
    }
}

std::string norm(std::string_view text) {
    std::string out;
    appendNorm(text, out);
    return out;
}

bool unspaced(char32_t c) {
    if (c >= 0x3000 && c <= 0x30FF) return true;  // kana and their marks
    UErrorCode status = U_ZERO_ERROR;
    switch (uscript_getScript(static_cast<UChar32>(c), &status)) {
        case USCRIPT_HAN:
        case USCRIPT_HIRAGANA:
        case USCRIPT_KATAKANA:
        case USCRIPT_THAI:
        case USCRIPT_LAO:
        case USCRIPT_KHMER:
        case USCRIPT_MYANMAR:
            return true;
        default:
            return false;
    }
}

namespace {

bool isApostrophe(UChar32 c) { return c == '\'' || c == 0x2019; }

}  // namespace

std::vector<std::size_t> wordStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    std::size_t length = 0;  // of the normalised text so far
    bool inWord = false;
    if (isAscii(text)) {
        const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
        char previous = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (letter(c) || (c >= '0' && c <= '9')) {
                const bool camel = c >= 'A' && c <= 'Z' && previous >= 'a' && previous <= 'z';
                if (!inWord || camel) starts.push_back(length);
                ++length;
                inWord = true;
            } else if (!(c == '\'' && inWord && i + 1 < text.size() && letter(text[i + 1]))) {
                inWord = false;
            }
            previous = c;
        }
        return starts;
    }
    // As appendNorm reads the text: lower-cased, by characters, each kept by its base code point.
    const std::string lowered = lower(text);
    const Boundaries bounds(lowered);
    const auto baseAt = [&](std::size_t pos) {
        UChar32 base;
        int32_t i = static_cast<int32_t>(pos);
        U8_NEXT(reinterpret_cast<const uint8_t*>(lowered.data()), i, static_cast<int32_t>(lowered.size()), base);
        return base;
    };
    bool previousUnspaced = false;
    for (std::size_t pos = 0; pos < lowered.size();) {
        const auto next = bounds.following(pos);
        const UChar32 base = baseAt(pos);
        if (U_GET_GC_MASK(base) & (U_GC_L_MASK | U_GC_N_MASK)) {
            const bool own = TavroText::unspaced(static_cast<char32_t>(base));
            if (!inWord || own || previousUnspaced) starts.push_back(length);
            length += next - pos;
            inWord = true;
            previousUnspaced = own;
        } else if (!(isApostrophe(base) && inWord && next < lowered.size() && (U_GET_GC_MASK(baseAt(next)) & U_GC_L_MASK))) {
            inWord = false;
        }
        pos = next;
    }
    return starts;
}

namespace {

// Texts as sequences of characters to compare: ASCII texts without CR are their bytes, others
// their grapheme clusters.
struct Chars {
    explicit Chars(std::string_view text) : valid(text) {
        const auto v = valid.view();
        bytes = isAscii(v) && v.find('\r') == std::string_view::npos;
        if (!bytes) clusters = split(v);
    }
    std::size_t size() const { return bytes ? valid.view().size() : clusters.size(); }
    Valid valid;
    bool bytes = false;
    std::vector<std::string_view> clusters;
};

// Levenshtein distance with two rows. With a limit (>= 0) only the diagonal band of that width
// is computed and the answer is capped at limit + 1, which is enough to tell "within the limit".
template <class Seq>
int levenshtein(const Seq& a, const Seq& b, int limit) {
    const std::size_t m = a.size(), n = b.size();
    const bool banded = limit >= 0;
    const int big = banded ? limit + 1 : 0;
    if (banded && (m > n ? m - n : n - m) > static_cast<std::size_t>(limit)) return big;
    std::vector<int> previous(n + 1), current(n + 1);
    for (std::size_t j = 0; j <= n; ++j) previous[j] = static_cast<int>(j);
    const auto band = static_cast<std::size_t>(banded ? limit : 0);
    for (std::size_t i = 1; i <= m; ++i) {
        const std::size_t lo = banded && i > band ? i - band : 1;
        const std::size_t hi = banded ? std::min(n, i + band) : n;
        current[lo - 1] = lo == 1 ? static_cast<int>(i) : big;
        int rowMin = current[lo - 1];
        for (std::size_t j = lo; j <= hi; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            int best = previous[j - 1] + cost;
            if (previous[j] + 1 < best) best = previous[j] + 1;
            if (current[j - 1] + 1 < best) best = current[j - 1] + 1;
            current[j] = best;
            if (best < rowMin) rowMin = best;
        }
        if (banded) {
            if (hi < n) current[hi + 1] = big;
            if (rowMin > limit) return big;
        }
        std::swap(previous, current);
    }
    return banded ? std::min(previous[n], big) : previous[n];
}

int distance(const Chars& a, const Chars& b, int limit) {
    if (a.size() == 0) return static_cast<int>(b.size());
    if (b.size() == 0) return static_cast<int>(a.size());
    if (a.bytes && b.bytes) return levenshtein(a.valid.view(), b.valid.view(), limit);
    if (a.bytes || b.bytes) {
        // One side is plain ASCII: compare it as one-byte clusters.
        const auto asClusters = [](const Chars& c) {
            if (!c.bytes) return c.clusters;
            std::vector<std::string_view> out;
            const auto v = c.valid.view();
            for (std::size_t i = 0; i < v.size(); ++i) out.push_back(v.substr(i, 1));
            return out;
        };
        return levenshtein(asClusters(a), asClusters(b), limit);
    }
    return levenshtein(a.clusters, b.clusters, limit);
}

}  // namespace

int edits(std::string_view a, std::string_view b) {
    const Chars ca(a), cb(b);
    return distance(ca, cb, -1);
}

bool fuzzyEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    const Chars ca(a), cb(b);
    const auto m = std::min(ca.size(), cb.size());
    if (m < 3) return false;
    const int allowed = m < 6 ? 1 : 2;
    // The distance is at least the difference in length.
    const auto longer = std::max(ca.size(), cb.size());
    if (longer - m > static_cast<std::size_t>(allowed)) return false;
    return distance(ca, cb, allowed) <= allowed;
}

std::optional<std::string> match(std::string_view text, const std::vector<std::string>& names) {
    const auto t = norm(text);
    if (t.empty()) return std::nullopt;
    std::vector<std::string> normed;
    normed.reserve(names.size());
    for (const auto& name : names) normed.push_back(norm(name));
    // A name with nothing left after normalising names nothing, so it never matches (it would
    // otherwise be "contained" in every text).
    const auto pass = [&](auto&& test) -> std::optional<std::string> {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (!normed[i].empty() && test(normed[i])) return names[i];
        return std::nullopt;
    };
    if (auto r = pass([&](const std::string& n) { return n == t; })) return r;
    if (auto r = pass([&](const std::string& n) { return n.starts_with(t); })) return r;
    if (auto r = pass([&](const std::string& n) {
            return n.find(t) != std::string::npos || t.find(n) != std::string::npos;
        }))
        return r;
    return pass([&](const std::string& n) { return fuzzyEqual(n, t); });
}

std::string unquote(std::string_view text) {
    // Only a pair that encloses the whole text is taken off, so a quote that belongs to the text
    // ("the students'", "hello 'there'") stays.
    static constexpr std::pair<std::string_view, std::string_view> pairs[] = {
        {"\"", "\""},           {"'", "'"},
        {"\u201C", "\u201D"},   {"\u2018", "\u2019"},
        {"\u300C", "\u300D"},   {"\u300E", "\u300F"},
    };
    const std::string trimmed = trim(text);
    std::string_view rest = trimmed;
    for (bool stripped = true; stripped;) {
        stripped = false;
        for (const auto& [open, close] : pairs) {
            if (rest.size() >= open.size() + close.size() && rest.starts_with(open) && rest.ends_with(close)) {
                rest = rest.substr(open.size(), rest.size() - open.size() - close.size());
                stripped = true;
                break;
            }
        }
    }
    return std::string(rest);
}

// ---- Regular expressions ----

std::optional<std::vector<std::string>> firstMatch(std::string_view pattern, std::string_view text,
                                                   bool caseInsensitive) {
    const auto c = compiled(pattern, caseInsensitive);
    if (!c->pattern) return std::nullopt;
    const Valid valid(text);
    const ThreadMatcher tm(c, valid.view());
    auto* m = tm.get();
    if (!m || !findNext(*m)) return std::nullopt;
    std::vector<std::string> out;
    const int32_t n = m->groupCount();
    out.reserve(static_cast<std::size_t>(n));
    for (int32_t g = 1; g <= n; ++g) out.push_back(groupText(*m, g, valid.view()));
    return out;
}

std::optional<std::vector<std::string>> groups(std::string_view pattern, std::string_view text) {
    return firstMatch(pattern, text, true);
}

std::optional<std::string> firstMatchText(std::string_view pattern, std::string_view text, bool caseInsensitive) {
    const auto c = compiled(pattern, caseInsensitive);
    if (!c->pattern) return std::nullopt;
    const Valid valid(text);
    const ThreadMatcher tm(c, valid.view());
    auto* m = tm.get();
    if (!m || !findNext(*m)) return std::nullopt;
    return groupText(*m, 0, valid.view());
}

bool matches(std::string_view pattern, std::string_view text, bool caseInsensitive) {
    const auto c = compiled(pattern, caseInsensitive);
    if (!c->pattern) return false;
    const Valid valid(text);
    const ThreadMatcher tm(c, valid.view());
    return tm.get() && findNext(*tm.get());
}

std::vector<std::vector<std::string>> allMatches(std::string_view pattern, std::string_view text,
                                                 bool caseInsensitive) {
    std::vector<std::vector<std::string>> out;
    const auto c = compiled(pattern, caseInsensitive);
    if (!c->pattern) return out;
    const Valid valid(text);
    const ThreadMatcher tm(c, valid.view());
    auto* m = tm.get();
    if (!m) return out;
    while (findNext(*m)) {
        std::vector<std::string> one;
        for (int32_t g = 0; g <= m->groupCount(); ++g) one.push_back(groupText(*m, g, valid.view()));
        out.push_back(std::move(one));
    }
    return out;
}

std::string replaceAll(std::string_view pattern, std::string_view text, std::string_view replacement,
                       bool caseInsensitive) {
    const Valid valid(text);
    const auto c = compiled(pattern, caseInsensitive);
    if (!c->pattern) return std::string(valid.view());
    const ThreadMatcher tm(c, valid.view());
    auto* m = tm.get();
    if (!m) return std::string(valid.view());
    UErrorCode status = U_ZERO_ERROR;
    const auto result = m->replaceAll(
        icu::UnicodeString::fromUTF8(icu::StringPiece(replacement.data(), static_cast<int32_t>(replacement.size()))),
        status);
    if (U_FAILURE(status)) return std::string(valid.view());
    return toUTF8(result);
}

bool isValidPattern(std::string_view pattern, bool caseInsensitive) {
    return compiled(pattern, caseInsensitive)->pattern != nullptr;
}

std::uint64_t compileCount() { return cache().compiles.load(std::memory_order_relaxed); }

void resetPatternCache() {
    auto& c = cache();
    std::unique_lock write(c.lock);
    c.maps[0].clear();
    c.maps[1].clear();
}

namespace {

using Deadline = std::chrono::steady_clock::time_point;

// Called by the match engine every few thousand steps and as a search moves along the text: false
// stops the match once the deadline has passed.
UBool beforeDeadline(const void* deadline, int32_t) {
    return std::chrono::steady_clock::now() < *static_cast<const Deadline*>(deadline);
}
UBool beforeDeadlineAt(const void* deadline, int64_t) { return beforeDeadline(deadline, 0); }

// Installs both callbacks on a (thread-shared) matcher for one search and removes them after.
class DeadlineWatch {
public:
    DeadlineWatch(icu::RegexMatcher& m, const Deadline& deadline) : m_(m) {
        UErrorCode status = U_ZERO_ERROR;
        m_.setMatchCallback(beforeDeadline, &deadline, status);
        m_.setFindProgressCallback(beforeDeadlineAt, &deadline, status);
    }
    ~DeadlineWatch() {
        UErrorCode status = U_ZERO_ERROR;
        m_.setMatchCallback(nullptr, nullptr, status);
        m_.setFindProgressCallback(nullptr, nullptr, status);
    }
    DeadlineWatch(const DeadlineWatch&) = delete;
    DeadlineWatch& operator=(const DeadlineWatch&) = delete;

private:
    icu::RegexMatcher& m_;
};

}  // namespace

std::optional<std::string> replaceFirst(std::string_view pattern, std::string_view text, std::string_view replacement,
                                        Deadline deadline, std::size_t maxBytes, bool caseInsensitive) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    const Valid valid(text);
    const std::string_view input = valid.view();
    const auto c = compiled(pattern, caseInsensitive);
    if (!c->pattern) return std::string(input);
    const ThreadMatcher tm(c, input);
    auto* m = tm.get();
    if (!m) return std::string(input);

    UErrorCode status = U_ZERO_ERROR;
    bool found = false;
    {
        const DeadlineWatch watch(*m, deadline);
        found = m->find(status);
    }
    if (status == U_REGEX_STOPPED_BY_CALLER) return std::nullopt;
    if (U_FAILURE(status) || !found) return std::string(input);

    // Offsets are UTF-8 byte offsets into the input; a group in a look-around may lie outside the
    // match, so each "$" is bounded by the longest group, not by the match.
    std::size_t longestGroup = 0;
    for (int32_t g = 0; g <= m->groupCount(); ++g) {
        UErrorCode groupStatus = U_ZERO_ERROR;
        const int64_t start = m->start64(g, groupStatus);
        const int64_t end = m->end64(g, groupStatus);
        if (U_SUCCESS(groupStatus) && start >= 0 && end > start)
            longestGroup = std::max(longestGroup, static_cast<std::size_t>(end - start));
    }
    const auto matchStart = static_cast<std::size_t>(m->start64(status));
    const auto matchEnd = static_cast<std::size_t>(m->end64(status));
    if (U_FAILURE(status)) return std::string(input);
    const auto references = static_cast<std::size_t>(std::count(replacement.begin(), replacement.end(), '$'));
    const std::size_t bound = input.size() - (matchEnd - matchStart) + replacement.size() + references * longestGroup;
    if (bound > maxBytes) return std::nullopt;

    icu::UnicodeString out;
    m->appendReplacement(
        out, icu::UnicodeString::fromUTF8(icu::StringPiece(replacement.data(), static_cast<int32_t>(replacement.size()))),
        status);
    if (U_FAILURE(status)) return std::string(input);
    m->appendTail(out);
    return toUTF8(out);
}


// ---- Folding and options ----

namespace {

// Compatibility forms decomposed, accents taken off Latin, Greek and Cyrillic letters, the rest
// composed again; lower-cased.
std::string foldedText(std::string_view text) {
    if (isAscii(text)) return lower(text);
    UErrorCode status = U_ZERO_ERROR;
    const auto* nfkd = icu::Normalizer2::getNFKDInstance(status);
    const auto* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return lower(text);
    const auto source = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    const auto decomposed = nfkd->normalize(source, status);
    if (U_FAILURE(status)) return lower(text);
    icu::UnicodeString kept;
    UChar32 base = 0;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        i += U16_LENGTH(c);
        if (u_charType(c) == U_NON_SPACING_MARK && base < 0x0530) continue;
        if (u_charType(c) != U_NON_SPACING_MARK) base = c;
        kept.append(c);
    }
    auto composed = nfc->normalize(kept, status);
    if (U_FAILURE(status)) return lower(text);
    composed.toLower(icu::Locale::getRoot());
    return toUTF8(composed);
}

bool isNumber(std::string_view word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Every number among `words` is one of `in`: no number matches inside a longer one.
bool numbersWithin(const std::vector<std::string>& words, const std::vector<std::string>& in) {
    return std::all_of(words.begin(), words.end(), [&](const std::string& w) {
        return !isNumber(w) || std::find(in.begin(), in.end(), w) != in.end();
    });
}

// Where `part` stands in `words` as consecutive whole words, or npos.
std::size_t wordsAt(const std::vector<std::string>& words, const std::vector<std::string>& part) {
    if (part.empty() || part.size() > words.size()) return std::string::npos;
    for (std::size_t at = 0; at + part.size() <= words.size(); ++at) {
        if (std::equal(part.begin(), part.end(), words.begin() + static_cast<std::ptrdiff_t>(at))) return at;
    }
    return std::string::npos;
}

}  // namespace

std::string fold(std::string_view text) { return norm(foldedText(text)); }

std::vector<std::string> foldedWords(std::string_view text) {
    std::vector<std::string> words;
    const auto folded = foldedText(text);
    const Boundaries bounds(folded);
    std::string word;
    for (std::size_t pos = 0; pos < folded.size();) {
        const auto next = bounds.following(pos);
        UChar32 base;
        int32_t i = static_cast<int32_t>(pos);
        U8_NEXT(reinterpret_cast<const uint8_t*>(folded.data()), i, static_cast<int32_t>(folded.size()), base);
        if (U_GET_GC_MASK(base) & (U_GC_L_MASK | U_GC_N_MASK)) {
            word.append(folded, pos, next - pos);
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
        pos = next;
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

std::optional<std::size_t> option(std::string_view value, const std::vector<std::string>& options) {
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i] == value) return i;
    }
    const auto wanted = foldedWords(value);
    if (wanted.empty()) return std::nullopt;
    std::vector<std::vector<std::string>> words;
    words.reserve(options.size());
    for (const auto& o : options) words.push_back(foldedWords(o));
    const auto pass = [&](auto&& test) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < options.size(); ++i)
            if (!words[i].empty() && test(words[i])) return i;
        return std::nullopt;
    };
    if (auto i = pass([&](const auto& w) { return w == wanted; })) return i;
    // Words run together differently ("Wi-Fi" and "WiFi") still make the same option.
    const auto joined = [](const std::vector<std::string>& w) {
        std::string out;
        for (const auto& part : w) out += part;
        return out;
    };
    const auto wantedJoined = joined(wanted);
    if (auto i = pass([&](const auto& w) { return joined(w) == wantedJoined; })) return i;
    if (auto i = pass([&](const auto& w) { return wordsAt(w, wanted) == 0; })) return i;
    if (auto i = pass([&](const auto& w) { return wordsAt(w, wanted) != std::string::npos; })) return i;
    // Looser readings (part of a word, a misspelling) only among options whose numbers and the
    // value's stand whole in each other.
    std::vector<std::string> fitting;
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (numbersWithin(wanted, words[i]) && numbersWithin(words[i], wanted)) {
            fitting.push_back(joined(words[i]));
            at.push_back(i);
        }
    }
    if (const auto found = match(wantedJoined, fitting)) {
        for (std::size_t k = 0; k < fitting.size(); ++k)
            if (fitting[k] == *found) return at[k];
    }
    return std::nullopt;
}

}  // namespace TavroText

}  // namespace tavro
