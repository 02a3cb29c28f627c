// XML reader: callback order and arguments over a table of documents, the
// malformed shapes that end a tag or a walk, file mode through the file layer,
// argument errors and memory balance.
#include <string>
#include <vector>

#include "base/log.h"
#include "base/xml.h"
#include "ext_util.h"

namespace {

// Every callback as one line: "S name a=[v] ...", "T name [text]", "E name".
struct Recorder {
  std::vector<std::string> events;
};

void OnStart(SYS_XML_t *x, const char *name, int32_t count, char **names, char **values) {
  std::string e = std::string("S ") + name;
  for (int32_t i = 0; i < count; i++) e += std::string(" ") + names[i] + "=[" + values[i] + "]";
  static_cast<Recorder *>(x->user)->events.push_back(e);
}
void OnText(SYS_XML_t *x, const char *name, int32_t, char **, char **, const char *text) {
  static_cast<Recorder *>(x->user)->events.push_back(std::string("T ") + name + " [" + text + "]");
}
void OnEnd(SYS_XML_t *x, const char *name) {
  static_cast<Recorder *>(x->user)->events.push_back(std::string("E ") + name);
}

std::vector<std::string> Parse(const std::string &doc, int *rc = nullptr) {
  Recorder r;
  SYS_XML_t *x = SYS_XMLOpen(0, doc.c_str());
  EXPECT_NE(x, nullptr);
  if (!x) return {};
  EXPECT_EQ(SYS_XMLSetCB(x, OnStart, OnText, OnEnd, &r), 0);
  int result = SYS_XMLParse(x);
  if (rc) *rc = result;
  EXPECT_EQ(SYS_XMLClose(x), 0);
  return r.events;
}

using Events = std::vector<std::string>;

TEST(ExtXml, DocumentsGiveTheirCallbacksInOrder) {
  struct Case {
    const char *doc;
    Events events;
  } cases[] = {
      // two empty-element tags separated by blank lines
      {"<a x=\"1\"/>\n\n\n<b/>", {"S a x=[1]", "E a", "S b", "E b"}},
      // the white space before the first child is the parent's text
      {"<w>\n  <c/>\n</w>", {"S w", "T w [\n  ]", "S c", "E c", "E w"}},
      // a blank after "=", names trimmed and case kept, values exact
      {"<d  Id= \"7\"\n\tTitle =\" a b \" />", {"S d Id=[7] Title=[ a b ]", "E d"}},
      {"<d my\tname=\"x\" two\nwords=\"y\">t</d>", {"S d my name=[x] two words=[y]", "T d [t]", "E d"}},
      // a value keeps its tabs, line breaks and entities as written
      {"<d v=\"\ta\nb\r\n&amp;&#9; \"/>", {"S d v=[\ta\nb\r\n&amp;&#9; ]", "E d"}},
      // processing instruction: nothing; text is never trimmed or decoded
      {"<?xml version=\"1.0\"?><p>&amp; x </p>", {"S p", "T p [&amp; x ]", "E p"}},
      // the last start tag has no "<" after it: start only
      {"<a><b>tail", {"S a", "T a []", "S b"}},
      {"<a>", {"S a"}},
      // a value may hold ">"-free markup characters and "/"
      {"<img src=\"a/b.png\" alt=\"=\"/>", {"S img src=[a/b.png] alt=[=]", "E img"}},
      // "/" and "<" inside the name are skipped
      {"<a/b>", {"S ab"}},
  };
  for (const Case &c : cases) {
    int rc = -1;
    EXPECT_EQ(Parse(c.doc, &rc), c.events) << c.doc;
    EXPECT_EQ(rc, 0);
  }
}

TEST(ExtXml, MalformedTagsEndTheirAttributesOrTheWalk) {
  struct Case {
    const char *doc;
    Events events;
  } cases[] = {
      {"<a x>", {"S a"}},                        // a word without "="
      {"<a x=1 y=\"2\">", {"S a x=[2]"}},        // the value is the first quoted text after "="
      {"<a x=\"1>", {"S a"}},                    // no closing quote inside the tag
      {"<a x=>", {"S a"}},                       // "=" without quotes
      {"<a k=\"v\" junk/>", {"S a k=[v]", "E a"}},
      {"<a", {}},                                // no ">"
      {"no markup at all", {}},
      {">>>", {}},
      {"<>", {"S "}},
      {"</>", {"E "}},
      {"<<<a>", {"S a"}},
      {"</a b=\"1\">", {"E a"}},
      {"", {}},
  };
  for (const Case &c : cases) {
    int rc = -1;
    EXPECT_EQ(Parse(c.doc, &rc), c.events) << c.doc;
    EXPECT_EQ(rc, 0);
  }
}

TEST(ExtXml, MissingCallbacksAreSkipped) {
  Recorder r;
  SYS_XML_t *x = SYS_XMLOpen(0, "<a>t<b/></a>");
  ASSERT_NE(x, nullptr);
  ASSERT_EQ(SYS_XMLSetCB(x, nullptr, nullptr, OnEnd, &r), 0);
  EXPECT_EQ(SYS_XMLParse(x), 0);
  EXPECT_EQ(r.events, (Events{"E b", "E a"}));
  // The handle's last tag is still readable after the walk.
  EXPECT_EQ(x->count, 0);
  EXPECT_EQ(SYS_XMLParse(x), 0);  // a handle parses again
  EXPECT_EQ(r.events.size(), 4u);
  EXPECT_EQ(SYS_XMLClose(x), 0);
}

TEST(ExtXml, ArgumentErrors) {
  EXPECT_EQ(SYS_XMLOpen(2, "<a/>"), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_XMLOpen(0, nullptr), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_XMLSetCB(nullptr, OnStart, OnText, OnEnd, nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_XMLParse(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_XMLClose(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

class ExtXmlFile : public ext::BaseTest {};

int gCallbackCode;
std::string gCallbackText;
int RecordError(int32_t code, const char *text) {
  gCallbackCode = code;
  gCallbackText = text;
  return 0;
}

TEST_F(ExtXmlFile, FileModeReadsThroughTheFileLayer) {
  ext::Tracked before = Count();
  std::string path = dir + "/dialog.xml";
  std::string doc = "<?xml version=\"1.0\"?>\n<dialog w=\"320\">\n";
  for (int i = 0; i < 2000; i++) doc += "  <button id=\"" + std::to_string(i) + "\"/>\n";  // past one read block
  doc += "</dialog>\n";
  ext::WriteAll(path, doc);

  Recorder r;
  SYS_XML_t *x = SYS_XMLOpen(1, path.c_str());
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->mode, 1);
  EXPECT_STREQ(x->path, path.c_str());
  EXPECT_EQ(std::string(x->document), doc);
  SYS_XMLSetCB(x, OnStart, nullptr, OnEnd, &r);
  EXPECT_EQ(SYS_XMLParse(x), 0);
  ASSERT_EQ(r.events.size(), 2u + 2 * 2000);
  EXPECT_EQ(r.events[0], "S dialog w=[320]");
  EXPECT_EQ(r.events[1 + 2 * 1999], "S button id=[1999]");
  EXPECT_EQ(r.events.back(), "E dialog");
  EXPECT_EQ(SYS_XMLClose(x), 0);
  EXPECT_EQ(Count(), before);
}

TEST_F(ExtXmlFile, MissingFileReachesTheErrorCallback) {
  errSetCallback(RecordError);
  std::string path = dir + "/nobody-has-this.xml";
  EXPECT_EQ(SYS_XMLOpen(1, path.c_str()), nullptr);
  EXPECT_EQ(errGetLastError(), 11);
  EXPECT_EQ(gCallbackCode, 11);
  EXPECT_EQ(gCallbackText, path);
  errSetCallback(nullptr);
}

// A file that opens but fails to read gives no document, rather than the part
// read so far: the kernel's memory file fails its first read at address 0.
TEST_F(ExtXmlFile, AReadErrorIsAReadFailure) {
  errSetCallback(RecordError);
  gCallbackCode = 0;
  ext::Tracked before = Count();
  EXPECT_EQ(SYS_XMLOpen(1, "/proc/self/mem"), nullptr);
  EXPECT_EQ(errGetLastError(), 3);
  EXPECT_EQ(gCallbackCode, 3);
  EXPECT_EQ(gCallbackText, "/proc/self/mem");
  EXPECT_EQ(Count(), before);
  errSetCallback(nullptr);
}

TEST_F(ExtXmlFile, ParsingReleasesWhatItTakes) {
  ext::Tracked before = Count();
  for (int i = 0; i < 3; i++) Parse("<a b=\"1\" c=\"2\"><d e=\"3\"/>text</a><f g=\"h\">");
  EXPECT_EQ(Count(), before);
}

TEST_F(ExtXmlFile, ManyAttributesInOneTag) {
  std::string doc = "<big";
  for (int i = 0; i < 5000; i++) doc += " a" + std::to_string(i) + "=\"" + std::to_string(i * 3) + "\"";
  doc += "/>";
  int32_t seen = -1;
  std::string last;
  SYS_XML_t *x = SYS_XMLOpen(0, doc.c_str());
  ASSERT_NE(x, nullptr);
  struct Out {
    int32_t *seen;
    std::string *last;
  } out{&seen, &last};
  SYS_XMLSetCB(
      x,
      [](SYS_XML_t *h, const char *, int32_t n, char **names, char **values) {
        Out *o = static_cast<Out *>(h->user);
        *o->seen = n;
        *o->last = std::string(names[n - 1]) + "=" + values[n - 1];
      },
      nullptr, nullptr, &out);
  EXPECT_EQ(SYS_XMLParse(x), 0);
  EXPECT_EQ(seen, 5000);
  EXPECT_EQ(last, "a4999=14997");
  SYS_XMLClose(x);
}

}  // namespace
