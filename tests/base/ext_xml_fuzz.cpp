// Fuzzing the XML reader: one harness that parses arbitrary bytes and checks what
// the callbacks receive. Built as a libFuzzer target with KORV_LIBFUZZER (seed
// corpus in xml-corpus/), and run here over a fixed-seed mutation of dialog-like
// documents, so every test run (and the sanitizer build) exercises it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/xml.h"

namespace {

struct Check {
  size_t limit;  // the document's length: nothing handed out can be longer
  long calls = 0;
  long faults = 0;
};

void Expect(Check *c, bool ok) {
  if (ok) return;
  c->faults++;
#ifdef KORV_LIBFUZZER
  abort();
#endif
}

void CheckTag(SYS_XML_t *x, const char *name, int32_t count, char **names, char **values) {
  Check *c = static_cast<Check *>(x->user);
  c->calls++;
  Expect(c, name && strlen(name) <= c->limit);
  Expect(c, count >= 0 && count == x->count && (count == 0 || (names && values)));
  for (int32_t i = 0; i < count && names && values; i++) {
    Expect(c, names[i] && values[i]);
    if (names[i] && values[i]) Expect(c, strlen(names[i]) + strlen(values[i]) <= c->limit);
  }
}

void OnStart(SYS_XML_t *x, const char *name, int32_t count, char **names, char **values) {
  CheckTag(x, name, count, names, values);
}
void OnText(SYS_XML_t *x, const char *name, int32_t count, char **names, char **values, const char *text) {
  CheckTag(x, name, count, names, values);
  Check *c = static_cast<Check *>(x->user);
  Expect(c, text && strlen(text) <= c->limit);
}
void OnEnd(SYS_XML_t *x, const char *name) {
  Check *c = static_cast<Check *>(x->user);
  c->calls++;
  Expect(c, name && strlen(name) <= c->limit);
}

}  // namespace

// Parses the bytes as one document; returns the number of faults seen (0 is sound).
long XmlFuzzOne(const uint8_t *data, size_t size, long *calls) {
  std::string doc(reinterpret_cast<const char *>(data), size);
  Check c{strlen(doc.c_str())};
  SYS_XML_t *x = SYS_XMLOpen(0, doc.c_str());
  if (!x) return 1;
  SYS_XMLSetCB(x, OnStart, OnText, OnEnd, &c);
  if (SYS_XMLParse(x) != 0) c.faults++;
  SYS_XMLClose(x);
  if (calls) *calls += c.calls;
  return c.faults;
}

#ifdef KORV_LIBFUZZER
#include "base/main.h"
#include "tests/common/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool up = SYS_BaseInit(nullptr, 0, nullptr, nullptr) == 0;
  fuzz::Expect(up, "framework start");
  fuzz::GivesBackWhatItTakes([&] { XmlFuzzOne(data, size, nullptr); });
  return 0;
}
#else
#include <random>

#include "ext_util.h"

namespace {

const char kSeed[] =
    "<?xml version=\"1.0\"?>\n"
    "<dialog width=\"400\" height=\"300\" title=\"Setup\">\n"
    "  <image id=\"1\" x=\"0\" y=\"0\" file=\"logo.tga\"/>\n"
    "  <frame x=\"10\" y=\"40\">\n"
    "    <caption id=\"100\" text=\"Screen size\"/>\n"
    "    <radio id=\"115\" group=\"1\" checked=\"1\"/>\n"
    "    <button id=\"1000\" action=\"1000\" text=\" Start \"/>\n"
    "  </frame>\n"
    "</dialog>\n";

class ExtXmlFuzz : public ext::BaseTest {};

// Byte flips, markup characters dropped in, cuts and duplicated ranges: the shapes
// a damaged dialog file takes. Sound input handling means no fault, no sanitizer
// report and every tracked block given back.
TEST_F(ExtXmlFuzz, MutatedDialogsParseSafely) {
  ext::Tracked before = Count();
  std::mt19937 rng(20261210);
  const char markup[] = "<>/=\"? \t\n!";
  long faults = 0, calls = 0;
  for (int iter = 0; iter < 4000; iter++) {
    std::string doc = kSeed;
    int edits = 1 + (int)(rng() % 12);
    for (int e = 0; e < edits && !doc.empty(); e++) {
      size_t at = rng() % doc.size();
      switch (rng() % 6) {
        case 0: doc[at] = (char)(rng() % 256); break;
        case 1: doc[at] = markup[rng() % (sizeof markup - 1)]; break;
        case 2: doc.insert(at, 1, markup[rng() % (sizeof markup - 1)]); break;
        case 3: doc.erase(at, 1 + rng() % 16); break;
        case 4: doc.resize(at); break;
        case 5: {
          size_t len = 1 + rng() % 64;
          doc.insert(rng() % doc.size(), doc.substr(at, len));
          break;
        }
      }
    }
    faults += XmlFuzzOne(reinterpret_cast<const uint8_t *>(doc.data()), doc.size(), &calls);
  }
  // Random bytes, biased towards markup.
  for (int iter = 0; iter < 1000; iter++) {
    std::string doc(rng() % 200, ' ');
    for (char &ch : doc) ch = rng() % 2 ? markup[rng() % (sizeof markup - 1)] : (char)(rng() % 256);
    faults += XmlFuzzOne(reinterpret_cast<const uint8_t *>(doc.data()), doc.size(), &calls);
  }
  EXPECT_EQ(faults, 0);
  EXPECT_GT(calls, 10000);  // the mutations still reach the callbacks
  EXPECT_EQ(Count(), before);
}

}  // namespace
#endif
