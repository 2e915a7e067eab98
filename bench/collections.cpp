// Cost of the library's ArrayList and HashMap beside the standard containers
// holding the same counted objects: one million appends and indexed reads,
// and one million puts and gets of text keys. Run by hand; prints the best
// of several runs and the ratio to each goal.
//
// The keys stand in for the library's string class: a counted object holding
// its text, ordered and hashed through IZKComparable like any element. The
// standard map holds the same key objects and hashes and compares their text
// directly, so the ratio shows what the map and its comparator indirection
// cost.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/timer.h"
#include "collections/array_list.h"
#include "collections/hash_map.h"
#include "lang/object.h"

namespace {

using zk::Reference;
using zk::collections::pcom::ArrayList;
using zk::collections::pcom::HashMap;

constexpr int kCount = 1000000;
constexpr int kRuns = 5;
constexpr double kGoal = 3.0;

// Keeps the compiler from dropping the measured reads.
volatile std::uintptr_t g_sink = 0;

std::uint32_t fnv1a(const std::wstring& text) noexcept {
  std::uint32_t hash = 2166136261u;
  for (wchar_t unit : text) hash = (hash ^ static_cast<std::uint16_t>(unit)) * 16777619u;
  return hash;
}

class TextKey : public zk::Object {
 public:
  explicit TextKey(std::wstring text) : m_text(std::move(text)) {}
  const std::wstring& text() const noexcept { return m_text; }

  std::int32_t compareTo(const zk::Object& other) const override {
    const auto* key = dynamic_cast<const TextKey*>(&other);
    if (key == nullptr) return zk::Object::compareTo(other);
    return m_text.compare(key->m_text);
  }
  std::uint32_t hashCode() const override { return fnv1a(m_text); }

 private:
  std::wstring m_text;
};

struct KeyHash {
  std::size_t operator()(const Reference<TextKey>& key) const noexcept { return fnv1a(key->text()); }
};
struct KeyEqual {
  bool operator()(const Reference<TextKey>& a, const Reference<TextKey>& b) const noexcept {
    return a->text() == b->text();
  }
};
struct TextHash {
  std::size_t operator()(const std::wstring& text) const noexcept { return fnv1a(text); }
};

IZKUnknown* unknown(zk::ComObject* object) noexcept { return object; }

// Best seconds of kRuns runs of body; prepare runs untimed before each.
template <class Prepare, class Body>
double best(Prepare prepare, Body body) {
  std::vector<double> times;
  for (int run = 0; run < kRuns; ++run) {
    prepare();
    const double start = zk_bench::seconds();
    body();
    times.push_back(zk_bench::seconds() - start);
  }
  return zk_bench::best(times);
}

void row(const char* name, double ours, double theirs, const char* theirName, bool isGoal) {
  const double ratio = ours / theirs;
  std::printf("  %-28s %8.1f ms  %-44s %8.1f ms  ratio %5.2f", name, ours * 1e3, theirName, theirs * 1e3, ratio);
  if (isGoal) {
    std::printf("  goal <= %.1f: %s\n", kGoal, ratio <= kGoal ? "met" : "MISSED");
  } else {
    std::printf("\n");
  }
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::printf("%d operations, best of %d runs\n", kCount, kRuns);

  std::vector<Reference<zk::Object>> objects;
  objects.reserve(kCount);
  for (int i = 0; i < kCount; ++i) objects.emplace_back(zk::makeReference<zk::Object>());

  // Appends.
  Reference<ArrayList> list;
  std::vector<Reference<zk::Object>> vector;
  const double listAppend = best([&] { list = zk::makeReference<ArrayList>(); },
                                 [&] {
                                   for (int i = 0; i < kCount; ++i) list->add(unknown(objects[i].get()));
                                 });
  const double vectorAppend = best([&] { vector = std::vector<Reference<zk::Object>>(); },
                                   [&] {
                                     for (int i = 0; i < kCount; ++i) vector.push_back(objects[i]);
                                   });
  row("ArrayList append", listAppend, vectorAppend, "std::vector<Reference<Object>> push_back", true);

  // Indexed reads: each hands out a counted reference on both sides.
  const double listGet = best([] {},
                              [&] {
                                std::uintptr_t sum = 0;
                                for (int i = 0; i < kCount; ++i) {
                                  sum += reinterpret_cast<std::uintptr_t>(list->get(i).get());
                                }
                                g_sink = sum;
                              });
  const double vectorGet = best([] {},
                                [&] {
                                  std::uintptr_t sum = 0;
                                  for (int i = 0; i < kCount; ++i) {
                                    const Reference<zk::Object> element = vector[static_cast<std::size_t>(i)];
                                    sum += reinterpret_cast<std::uintptr_t>(element.get());
                                  }
                                  g_sink = sum;
                                });
  row("ArrayList get", listGet, vectorGet, "std::vector<Reference<Object>> copy", true);
  list.reset();
  vector.clear();

  // Text keys: the same key objects on both sides.
  std::vector<Reference<TextKey>> keys;
  std::vector<std::wstring> texts;
  keys.reserve(kCount);
  texts.reserve(kCount);
  for (int i = 0; i < kCount; ++i) {
    texts.push_back(L"key-" + std::to_wstring(static_cast<std::uint32_t>(i) * 2654435761u));
    keys.emplace_back(zk::makeReference<TextKey>(texts.back()));
  }
  Reference<zk::Object> value = zk::makeReference<zk::Object>();

  Reference<HashMap> map;
  std::unordered_map<Reference<TextKey>, Reference<zk::Object>, KeyHash, KeyEqual> standard;
  std::unordered_map<std::wstring, Reference<zk::Object>, TextHash> byText;
  const double mapPut = best([&] { map = zk::makeReference<HashMap>(); },
                             [&] {
                               for (int i = 0; i < kCount; ++i) map->put(unknown(keys[i].get()), unknown(value.get()));
                             });
  const double standardPut = best([&] { standard.clear(); },
                                  [&] {
                                    for (int i = 0; i < kCount; ++i) standard.emplace(keys[i], value);
                                  });
  const double textPut = best([&] { byText.clear(); },
                              [&] {
                                for (int i = 0; i < kCount; ++i) byText.emplace(texts[i], value);
                              });
  row("HashMap put", mapPut, standardPut, "std::unordered_map<Reference<key>> emplace", true);
  row("HashMap put", mapPut, textPut, "std::unordered_map<std::wstring> emplace", false);

  const double mapGet = best([] {},
                             [&] {
                               std::uintptr_t sum = 0;
                               for (int i = 0; i < kCount; ++i) {
                                 sum += reinterpret_cast<std::uintptr_t>(map->get(unknown(keys[i].get())).get());
                               }
                               g_sink = sum;
                             });
  const double standardGet = best([] {},
                                  [&] {
                                    std::uintptr_t sum = 0;
                                    for (int i = 0; i < kCount; ++i) {
                                      const Reference<zk::Object> found = standard.find(keys[i])->second;
                                      sum += reinterpret_cast<std::uintptr_t>(found.get());
                                    }
                                    g_sink = sum;
                                  });
  const double textGet = best([] {},
                              [&] {
                                std::uintptr_t sum = 0;
                                for (int i = 0; i < kCount; ++i) {
                                  const Reference<zk::Object> found = byText.find(texts[i])->second;
                                  sum += reinterpret_cast<std::uintptr_t>(found.get());
                                }
                                g_sink = sum;
                              });
  row("HashMap get", mapGet, standardGet, "std::unordered_map<Reference<key>> find", true);
  row("HashMap get", mapGet, textGet, "std::unordered_map<std::wstring> find", false);
  return 0;
}
