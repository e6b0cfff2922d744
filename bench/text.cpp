// Costs of the text helpers on the agent's hot paths: normalising labels, matching names, edit
// distance, and pattern matching with the process-wide compiled-pattern cache against compiling
// the pattern on every call.
#include <benchmark/benchmark.h>

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>
#include <vector>

#include "tavro/core/TavroText.h"

namespace T = tavro::TavroText;

namespace {

const std::string kAsciiLabel = "Settings & Privacy: Turn on Dark Mode (Beta) for all Screens";  // 60
const std::string kMixedLabel = "設定とプライバシー: ダークモードをオンにする (Beta) — すべての画面で有効にします。OK";

std::vector<std::string> names100() {
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) names.push_back("Menu Item Number " + std::to_string(i) + " (Options)");
    return names;
}

const std::string kPattern = R"((?:turn|switch)\s+(on|off)\s+(?:the\s+)?(\p{L}[\p{L}\s-]{0,30}?)(?=\s*(?:$|,|\.|and)))";

std::string text200() {
    std::string t = "Please open the settings screen, scroll down past notifications and sounds, find the "
                    "display section with its brightness slider and text size, and then switch on dark mode.";
    while (T::count(t) < 200) t += " ok";
    return T::prefix(t, 200);
}

void BM_NormAsciiLabel60(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(T::norm(kAsciiLabel));
}
BENCHMARK(BM_NormAsciiLabel60);

void BM_NormJapaneseLabel60(benchmark::State& state) {
    const auto label = T::prefix(kMixedLabel, 60);
    for (auto _ : state) benchmark::DoNotOptimize(T::norm(label));
}
BENCHMARK(BM_NormJapaneseLabel60);

void BM_MatchExactLastOf100(benchmark::State& state) {
    const auto names = names100();
    for (auto _ : state) benchmark::DoNotOptimize(T::match("menu item number 99 options", names));
}
BENCHMARK(BM_MatchExactLastOf100);

void BM_MatchFuzzyOf100(benchmark::State& state) {
    // No exact, prefix or containment hit: all four passes run, the last one with edit distances.
    const auto names = names100();
    for (auto _ : state) benchmark::DoNotOptimize(T::match("menu itme number 99 optoins", names));
}
BENCHMARK(BM_MatchFuzzyOf100);

void BM_EditsAscii40(benchmark::State& state) {
    const std::string a = "Turn on dark mode in the display settings";  // 40+
    const std::string b = "Turn off dark mode on the display setting";
    const auto a40 = T::prefix(a, 40), b40 = T::prefix(b, 40);
    for (auto _ : state) benchmark::DoNotOptimize(T::edits(a40, b40));
}
BENCHMARK(BM_EditsAscii40);

void BM_EditsJapanese40(benchmark::State& state) {
    const auto a = T::prefix(kMixedLabel, 40);
    const auto b = T::prefix("設定とプライバシー: ライトモードをオンにする (Beta) — 画面で有効にします。", 40);
    for (auto _ : state) benchmark::DoNotOptimize(T::edits(a, b));
}
BENCHMARK(BM_EditsJapanese40);

void BM_GroupsCached200(benchmark::State& state) {
    const auto text = text200();
    if (!T::groups(kPattern, text)) state.SkipWithError("pattern should match");
    for (auto _ : state) benchmark::DoNotOptimize(T::groups(kPattern, text));
}
BENCHMARK(BM_GroupsCached200);

// The same search compiling the pattern on every call, as code without the cache would.
void BM_GroupsUncached200(benchmark::State& state) {
    const auto text = text200();
    const auto pattern = icu::UnicodeString::fromUTF8(kPattern);
    const auto input = icu::UnicodeString::fromUTF8(text);
    for (auto _ : state) {
        UErrorCode status = U_ZERO_ERROR;
        UParseError pe;
        std::unique_ptr<icu::RegexPattern> p(icu::RegexPattern::compile(pattern, UREGEX_CASE_INSENSITIVE, pe, status));
        std::unique_ptr<icu::RegexMatcher> m(p->matcher(input, status));
        std::vector<std::string> out;
        if (m->find(status)) {
            for (int g = 1; g <= m->groupCount(); ++g) {
                std::string s;
                m->group(g, status).toUTF8String(s);
                out.push_back(std::move(s));
            }
        }
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_GroupsUncached200);

void BM_CompileCachedLookup(benchmark::State& state) {
    T::isValidPattern(kPattern);
    for (auto _ : state) benchmark::DoNotOptimize(T::isValidPattern(kPattern));
}
BENCHMARK(BM_CompileCachedLookup);

void BM_CompileUncached(benchmark::State& state) {
    const auto pattern = icu::UnicodeString::fromUTF8(kPattern);
    for (auto _ : state) {
        UErrorCode status = U_ZERO_ERROR;
        UParseError pe;
        std::unique_ptr<icu::RegexPattern> p(icu::RegexPattern::compile(pattern, UREGEX_CASE_INSENSITIVE, pe, status));
        benchmark::DoNotOptimize(p.get());
    }
}
BENCHMARK(BM_CompileUncached);

void BM_Prefix40Of200(benchmark::State& state) {
    const auto text = text200();
    for (auto _ : state) benchmark::DoNotOptimize(T::prefix(text, 40));
}
BENCHMARK(BM_Prefix40Of200);

void BM_PrefixJapanese40(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(T::prefix(kMixedLabel, 40));
}
BENCHMARK(BM_PrefixJapanese40);

}  // namespace
