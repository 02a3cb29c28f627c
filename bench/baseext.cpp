// Figures for the base services: XML walk throughput over a dialog-like document,
// ISO 8859 to UCS-2/UCS-4 conversion throughput, and the one-time CPU detection.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "base/cpu-x86.h"
#include "base/iconv.h"
#include "base/main.h"
#include "base/xml.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

long gTags;
void OnStart(SYS_XML_t *, const char *, int32_t count, char **, char **) { gTags += 1 + count; }

}  // namespace

int main(int argc, char **argv) {
  SYS_BaseInit(nullptr, argc, argv, nullptr);

  std::string doc = "<?xml version=\"1.0\"?>\n<dialog width=\"400\" height=\"300\">\n";
  while (doc.size() < (8u << 20))
    doc += "  <button id=\"1000\" x=\"10\" y=\"20\" w=\"120\" h=\"24\" text=\" Start \"/>\n"
           "  <caption id=\"100\" text=\"Screen size\">label</caption>\n";
  doc += "</dialog>\n";
  auto t0 = std::chrono::steady_clock::now();
  SYS_XML_t *x = SYS_XMLOpen(0, doc.c_str());
  SYS_XMLSetCB(x, OnStart, nullptr, nullptr, nullptr);
  SYS_XMLParse(x);
  SYS_XMLClose(x);
  double s = Seconds(std::chrono::steady_clock::now() - t0);
  printf("xml: %.1f MB in %.3f s = %.1f MB/s (%ld tags+attributes)\n", doc.size() / 1e6, s,
         doc.size() / 1e6 / s, gTags);

  std::vector<unsigned char> text(16u << 20);
  for (size_t i = 0; i < text.size(); i++) text[i] = (unsigned char)(i * 131);
  std::vector<unsigned char> out(text.size() * 4);
  for (int target : {30, 31}) {
    int32_t len = 0;
    t0 = std::chrono::steady_clock::now();
    SYS_IConvToUCS(15, target, text.data(), (int32_t)text.size(), out.data(), &len);
    s = Seconds(std::chrono::steady_clock::now() - t0);
    printf("iconv 8859-15 to UCS-%d: %.1f MB/s of input\n", target == 30 ? 2 : 4, text.size() / 1e6 / s);
  }

  t0 = std::chrono::steady_clock::now();
  SYS_PCPU_t cpu = SYS_GetCPU();
  s = Seconds(std::chrono::steady_clock::now() - t0);
  printf("cpu detection: %.3f s, \"%s\"\n", s, cpu ? cpu->name : "(none)");

  SYS_BaseDone();
  return 0;
}
