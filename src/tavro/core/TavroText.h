// Text helpers every part of the library uses to compare, cut and search texts, and `L`, which
// picks the English or Japanese wording of a user-visible text.
//
// Texts are UTF-8. A "character" is a user-perceived character (an extended grapheme cluster), so
// a family emoji or a letter with combining accents counts as one. Ill-formed UTF-8 never fails:
// each ill-formed sequence is read as U+FFFD, and every text these helpers return is valid UTF-8.
//
// Regular expressions use ICU syntax. Each pattern is compiled once per process and kept in a
// thread-safe cache; a pattern that does not compile is remembered as failing and never compiled
// again. Matching runs directly over the UTF-8 text and is bounded in time: a match that would
// backtrack catastrophically is abandoned and answers as "no match".
//
// Everything here is stateless (apart from the cache) and safe to call from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavro {

// The Japanese text when the user's first preferred language tag begins with "ja", else the
// English text. The preferred languages are read on every call.
std::string L(std::string_view english, std::string_view japanese);

namespace TavroText {

// ---- Name comparison ----

// Full Unicode lower-casing, then only the characters that are letters or numbers (by the
// general category of the character's base code point: L* or N*) are kept, each with its
// combining marks. "Save & Exit!" -> "saveexit", "設定 (2)" -> "設定2", "Wi-Fi" -> "wifi".
std::string norm(std::string_view text);

// `norm` of the text appended to `out`, for callers that keep many names in one buffer.
void appendNorm(std::string_view text, std::string& out);

// Where the words of `norm(text)` begin, as byte offsets into it, in order. A word begins after
// anything that is not a letter or number (an apostrophe between letters joins: "Don't" is one
// word), at a capital after a small ASCII letter ("sendMoney"), and at every character of a script
// written without blanks (Han, kana, Thai, Lao, Khmer, Myanmar).
// Whether a code point belongs to a script written without blanks between words (Han, kana, Thai,
// Lao, Khmer, Myanmar): each of its characters may begin or end a word.
bool unspaced(char32_t c);
std::vector<std::size_t> wordStarts(std::string_view text);

// Levenshtein distance over characters (case significant).
int edits(std::string_view a, std::string_view b);

// True for equal texts; otherwise, when the shorter has at least 3 characters, true when the
// edit distance is at most 1 (shorter below 6 characters) or 2. Callers normalise first.
bool fuzzyEqual(std::string_view a, std::string_view b);

// The candidate name (as given) a user most likely meant by `text`, comparing normalised forms:
// exact, then prefix, then containment either way, then fuzzy. Each pass scans the whole list
// before the next. Nothing for a text that normalises to empty; a name that normalises to empty
// never matches.
std::optional<std::string> match(std::string_view text, const std::vector<std::string>& names);

// `norm` after folding compatibility forms and accents: full-width letters become plain ones and
// accents come off Latin, Greek and Cyrillic letters ("Français" -> "francais", "ＳＨＯＰ" ->
// "shop"). Marks that make another letter in other scripts (a kana's voicing) stay.
std::string fold(std::string_view text);

// The text's words, folded as `fold` folds: runs of letters and numbers in any script.
std::vector<std::string> foldedWords(std::string_view text);

// The option a person means by `value`, by index among a control's options: an option equal to
// it (exactly, else folded), then one that starts with it as whole words, then one that holds it
// as whole words, then the one the name matcher (`match`) finds. A number never matches inside a
// longer number ("1" is not "10 tickets"). Nothing when no option fits.
std::optional<std::size_t> option(std::string_view value, const std::vector<std::string>& options);

// Trims white space and line breaks, then takes off, again and again, a pair of quotes that
// encloses the whole text: " with ", ' with ', “ with ”, ‘ with ’, 「 with 」, 『 with 』. A quote
// without its partner at the other end stays, and blanks inside the quotes are kept.
std::string unquote(std::string_view text);

// ---- Regular expressions (ICU syntax, cached) ----

// The first match of `pattern` in `text`, case-insensitive: nothing when the pattern does not
// compile or does not match; otherwise capture groups 1..n in order (an empty list for a pattern
// without groups; a group that took no part gives an empty text).
std::optional<std::vector<std::string>> groups(std::string_view pattern, std::string_view text);

// As `groups`, with the letter-case choice explicit.
std::optional<std::vector<std::string>> firstMatch(std::string_view pattern, std::string_view text,
                                                   bool caseInsensitive = true);

// The text of the whole first match, or nothing.
std::optional<std::string> firstMatchText(std::string_view pattern, std::string_view text,
                                          bool caseInsensitive = true);

// Whether `pattern` matches anywhere in `text`.
bool matches(std::string_view pattern, std::string_view text, bool caseInsensitive = true);

// Every match in order; each entry is the whole match followed by groups 1..n.
std::vector<std::vector<std::string>> allMatches(std::string_view pattern, std::string_view text,
                                                 bool caseInsensitive = true);

// Replaces every match. The replacement uses ICU syntax: "$1" or "${name}" inserts a group, a
// backslash quotes the next character. A pattern or replacement that is invalid, or a match
// that runs out of time, leaves the text as it was (repaired to valid UTF-8).
std::string replaceAll(std::string_view pattern, std::string_view text, std::string_view replacement,
                       bool caseInsensitive = true);

// Whether the pattern compiles (and is cached).
bool isValidPattern(std::string_view pattern, bool caseInsensitive = true);

// Diagnostics for tests and benchmarks: how many compilations the cache has performed in this
// process, and a reset of the cache (the counter keeps counting).
std::uint64_t compileCount();
void resetPatternCache();

// Replaces only the first match (replacement syntax as `replaceAll`), within bounds: nothing when
// matching runs past `deadline` or when the result could exceed `maxBytes` (the bound counts each
// "$" of the replacement as the longest group; the text is never built beyond it). No match, a
// match past the per-match limit, or a pattern or replacement that is invalid leaves the text as
// it was (repaired).
std::optional<std::string> replaceFirst(std::string_view pattern, std::string_view text, std::string_view replacement,
                                        std::chrono::steady_clock::time_point deadline, std::size_t maxBytes,
                                        bool caseInsensitive = true);

// ---- Characters ----

// The number of characters.
std::size_t count(std::string_view text);

// The first `n` characters (the whole text when it is shorter).
std::string prefix(std::string_view text, std::size_t n);

// The text split into its characters.
std::vector<std::string> characters(std::string_view text);

// Trims white space and line breaks (Unicode White_Space) from both ends.
std::string trim(std::string_view text);

// Trims white space only (space separators and tab) from both ends; line breaks stay.
std::string trimBlanks(std::string_view text);

// Trims from both ends every character whose code points all belong to `chars` (a UTF-8 text
// read as a set of code points).
std::string trim(std::string_view text, std::string_view chars);

// Full Unicode lower-casing (locale-independent).
std::string lower(std::string_view text);

// Case-insensitive containment after full lower-casing; an empty needle is contained.
bool containsIgnoringCase(std::string_view text, std::string_view needle);

// Whether the text is well-formed UTF-8, and the text with each ill-formed sequence replaced by U+FFFD.
bool isValidUTF8(std::string_view text);
std::string repaired(std::string_view text);

}  // namespace TavroText

}  // namespace tavro
