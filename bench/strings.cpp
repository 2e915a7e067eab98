// Cost of the library's strings beside the standard library: appending one
// character at a time to a zk::String and to a std::wstring, hashing long
// texts, and looking names up in a Str1HashMap and in a
// std::unordered_map<std::wstring, ...>. Run by hand; prints the best of
// several runs and the ratio to the standard library for each goal.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/timer.h"
#include "core/windows_support.h"
#include "lang/str1.h"
#include "lang/str1_hash_map.h"
#include "lang/string.h"

namespace {

constexpr int kRuns = 7;
// The library's goal on every figure: within this factor of the standard
// library.
constexpr double kGoal = 2.0;

// Keeps the compiler from dropping the measured work.
volatile std::uint64_t g_sink = 0;

// Best nanoseconds per operation of body (which performs operations of
// them) over kRuns runs.
template <class Body>
double bestNanoseconds(Body body, double operations) {
  return zk_bench::bestSeconds(kRuns, body) * 1e9 / operations;
}

void goalRow(const char* name, double ours, double standard) {
  const double ratio = ours / standard;
  std::printf("  %-44s %8.2f ns  std %8.2f ns  ratio %5.2fx  goal <= %.1fx: %s\n", name, ours, standard, ratio, kGoal,
              ratio <= kGoal ? "met" : "MISSED");
}

void appendOneAtATime() {
  constexpr int kCharacters = 1000000;
  const double ours = bestNanoseconds(
      [] {
        zk::String text;
        for (int i = 0; i < kCharacters; ++i) text.append(static_cast<wchar_t>(L'a' + i % 26));
        g_sink = g_sink + static_cast<std::uint64_t>(text.length());
      },
      kCharacters);
  const double standard = bestNanoseconds(
      [] {
        std::wstring text;
        for (int i = 0; i < kCharacters; ++i) text.push_back(static_cast<wchar_t>(L'a' + i % 26));
        g_sink = g_sink + text.size();
      },
      kCharacters);
  goalRow("String::append, 1 million single characters", ours, standard);
}

void hashLongStrings() {
  constexpr int kStrings = 64;
  constexpr int kLength = 4096;
  constexpr int kRounds = 200;
  std::vector<std::wstring> texts;
  std::vector<zk::String> strings;
  for (int s = 0; s < kStrings; ++s) {
    std::wstring text;
    for (int i = 0; i < kLength; ++i) text.push_back(static_cast<wchar_t>(L'A' + (i * 7 + s) % 53));
    strings.emplace_back(text.data(), kLength);
    texts.push_back(std::move(text));
  }
  const double ours = bestNanoseconds(
      [&] {
        std::uint64_t sum = 0;
        for (int round = 0; round < kRounds; ++round) {
          for (const zk::String& s : strings) sum += s.hashCode();
        }
        g_sink = g_sink + sum;
      },
      double{kStrings} * kRounds);
  const double standard = bestNanoseconds(
      [&] {
        std::uint64_t sum = 0;
        const std::hash<std::wstring> hash;
        for (int round = 0; round < kRounds; ++round) {
          for (const std::wstring& text : texts) sum += hash(text);
        }
        g_sink = g_sink + sum;
      },
      double{kStrings} * kRounds);
  goalRow("String::hashCode, 4096-unit strings", ours, standard);
}

void lookUpNames() {
  constexpr int kNames = 600;
  constexpr int kRounds = 200;
  std::vector<std::wstring> names;
  std::vector<zk::Str1Copy> keys;
  for (int n = 0; n < kNames; ++n) {
    names.push_back(L"x-codec-" + std::to_wstring(n * 7919) + (n % 3 == 0 ? L"-be" : L""));
    keys.emplace_back(names.back().c_str());
  }
  // The sizes the library's own registries start from.
  zk::Str1HashMap<void*> ours(101, 0.75f);
  std::unordered_map<std::wstring, void*> standard;
  for (int n = 0; n < kNames; ++n) {
    void* value = reinterpret_cast<void*>(static_cast<std::uintptr_t>(n) + 1);
    ours.put(keys[static_cast<std::size_t>(n)], value);
    standard.emplace(names[static_cast<std::size_t>(n)], value);
  }
  const double oursNs = bestNanoseconds(
      [&] {
        std::uintptr_t sum = 0;
        for (int round = 0; round < kRounds; ++round) {
          for (const zk::Str1Copy& key : keys) {
            void* value = nullptr;
            if (ours.get(key, value)) sum += reinterpret_cast<std::uintptr_t>(value);
          }
        }
        g_sink = g_sink + sum;
      },
      double{kNames} * kRounds);
  const double standardNs = bestNanoseconds(
      [&] {
        std::uintptr_t sum = 0;
        for (int round = 0; round < kRounds; ++round) {
          for (const std::wstring& name : names) {
            const auto found = standard.find(name);
            if (found != standard.end()) sum += reinterpret_cast<std::uintptr_t>(found->second);
          }
        }
        g_sink = g_sink + sum;
      },
      double{kNames} * kRounds);
  goalRow("Str1HashMap::get, 600 names (hits)", oursNs, standardNs);
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::printf("Strings beside the standard library, best of %d runs (time per operation)\n", kRuns);
  appendOneAtATime();
  hashLongStrings();
  lookUpNames();
  return 0;
}
