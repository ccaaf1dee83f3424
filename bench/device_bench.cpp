// One device query of the device information module for a CDMA modem (query and copy),
// beside a bare build of a document of the same elements through the platform's DOM with
// the same library loads, and beside the bare presence check the query must make (the
// client library loaded, started, asked for the power state, stopped, freed); all on this
// thread, alternately, in one run. The module runs from an assembled folder against the
// simulated-firmware service (kept running, as the service is on a notebook) and the
// stand-in SDK and card-detect libraries. Then the memory figures: committed private
// memory before and after 200 load/free cycles of each of our libraries, and before and
// after 200 queries.
//   device_bench [rounds]
#include <windows.h>
#include <msxml2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "BusyHeap.h"
#include "FirmwareSim.h"
#include "ModuleTestSupport.h"
#include "QelVxAux.h"
#include "SimModems.h"

namespace {

using namespace qeltest;

const CLSID kClsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomNode = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// One element of a document in document order: its parent's index (-1 for the root), name, text.
struct Element {
  int parent;
  std::wstring name, text;
};

void Flatten(IXMLDOMNode* node, int parent, std::vector<Element>* out) {
  UniqueBstr name;
  node->get_nodeName(name.put());
  int self = static_cast<int>(out->size());
  out->push_back({parent, name.get() ? name.get() : L"", L""});
  ComPtr<IXMLDOMNodeList> children;
  node->get_childNodes(children.put());
  long n = 0;
  if (children) children->get_length(&n);
  for (long i = 0; i < n; ++i) {
    ComPtr<IXMLDOMNode> child;
    children->get_item(i, child.put());
    DOMNodeType type;
    child->get_nodeType(&type);
    if (type == NODE_ELEMENT) {
      Flatten(child.get(), self, out);
    } else if (type == NODE_TEXT) {
      UniqueBstr t;
      child->get_text(t.put());
      if (t.get()) (*out)[static_cast<size_t>(self)].text += t.get();
    }
  }
}

std::vector<Element> Elements(const std::wstring& xml) {
  std::vector<Element> out;
  ComPtr<IXMLDOMDocument> doc;
  if (FAILED(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument, doc.put_void())))
    return out;
  UniqueBstr source(xml.c_str());
  VARIANT_BOOL ok = VARIANT_FALSE;
  doc->loadXML(source.get(), &ok);
  ComPtr<IXMLDOMElement> root;
  if (ok) doc->get_documentElement(root.put());
  ComPtr<IXMLDOMNode> node;
  if (root) root->QueryInterface(kIidXmlDomNode, node.put_void());
  if (node) Flatten(node.get(), -1, &out);
  return out;
}

struct Load {
  std::wstring path;
  DWORD flags;
};

// The libraries one query loads and frees beside its presence check, in its order: the
// component versions (files mapped as data, each version read with Version.dll, the
// module's own too), the technology, the SDK and its version.
std::vector<Load> QueryLoads(const std::wstring& dir) {
  const DWORD data = LOAD_LIBRARY_AS_DATAFILE, image = LOAD_WITH_ALTERED_SEARCH_PATH;
  return {{dir + L"QelVxAux.dll", data},      {L"Version.dll", 0},
          {L"Version.dll", 0},                {dir + L"QelCardDetect.dll", data},
          {L"Version.dll", 0},                {dir + L"QelCardDetect.dll", image},
          {dir + L"qel_evdomx.dll", image},   {L"Version.dll", 0}};
}

// The bare build: the same loads, then the document's elements and texts through the DOM,
// its text and its file.
bool BareBuild(const std::vector<Load>& loads, const std::vector<Element>& elements, const std::wstring& file,
               std::wstring* text) {
  for (const Load& load : loads) {
    HMODULE library = LoadLibraryExW(load.path.c_str(), nullptr, load.flags);
    if (!library) return false;
    FreeLibrary(library);
  }
  ComPtr<IXMLDOMDocument> doc;
  if (FAILED(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              kIidXmlDomDocument, doc.put_void())))
    return false;
  UniqueBstr target(L"xml"), data(L"version=\"1.0\"");
  ComPtr<IXMLDOMProcessingInstruction> header;
  ComPtr<IXMLDOMNode> added;
  if (FAILED(doc->createProcessingInstruction(target.get(), data.get(), header.put())) ||
      FAILED(doc->appendChild(header.get(), added.put())))
    return false;
  std::vector<ComPtr<IXMLDOMNode>> nodes(elements.size());
  for (size_t i = 0; i < elements.size(); ++i) {
    UniqueBstr name(elements[i].name.c_str());
    ComPtr<IXMLDOMElement> element;
    if (FAILED(doc->createElement(name.get(), element.put()))) return false;
    element->QueryInterface(kIidXmlDomNode, nodes[i].put_void());
    if (!elements[i].text.empty()) {
      UniqueBstr value(elements[i].text.c_str());
      nodes[i]->put_text(value.get());
    }
    ComPtr<IXMLDOMNode> parentNode;
    if (elements[i].parent < 0)
      doc->QueryInterface(kIidXmlDomNode, parentNode.put_void());
    else
      parentNode = nodes[static_cast<size_t>(elements[i].parent)];
    ComPtr<IXMLDOMNode> placed;
    if (FAILED(parentNode->appendChild(nodes[i].get(), placed.put()))) return false;
  }
  UniqueBstr xml;
  if (FAILED(doc->get_xml(xml.put()))) return false;
  *text = xml.get() ? xml.get() : L"";
  UniqueVariant path;
  path->vt = VT_BSTR;
  path->bstrVal = SysAllocString(file.c_str());
  return SUCCEEDED(doc->save(*path.get()));
}

// The presence check of a query on its own: the client library loaded from path, started,
// asked for the power state, stopped and freed.
bool PresenceCheck(const std::wstring& path) {
  UniqueLibrary library(LoadLibraryW(path.c_str()));
  if (!library) return false;
  auto bind = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(library.get(), name)); };
  auto initialize = reinterpret_cast<PFN_QelHWInitialize>(bind("QelHWInitialize"));
  auto uninitialize = reinterpret_cast<PFN_QelHWUnInitialize>(bind("QelHWUnInitialize"));
  auto getPower = reinterpret_cast<PFN_QelHWGetPower>(bind("QelHWGetPower"));
  if (!initialize || !uninitialize || !getPower || FAILED(initialize())) return false;
  uint32_t state = 0;
  bool ok = getPower(&state) == QELHW_OK && state == 1;  // on
  uninitialize();
  return ok;
}

// Committed private memory of this process (what Windows counts as private bytes; Wine
// reports PrivateUsage as 0, so the pages are counted here).
size_t PrivateBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total;
}

// The baseline of a query's memory: a document holding only the "xml" declaration, made
// through the DOM without the module and released (Wine's DOM keeps heap for each one).
bool BareDeclaration() {
  ComPtr<IXMLDOMDocument> doc;
  if (FAILED(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument, doc.put_void())))
    return false;
  UniqueBstr target(L"xml"), data(L"version=\"1.0\"");
  ComPtr<IXMLDOMProcessingInstruction> header;
  ComPtr<IXMLDOMNode> added;
  return SUCCEEDED(doc->createProcessingInstruction(target.get(), data.get(), header.put())) &&
         SUCCEEDED(doc->appendChild(header.get(), added.put()));
}

void PrintMemory(const char* what, size_t before, size_t after, int cycles) {
  double perCycle = (static_cast<double>(after) - static_cast<double>(before)) / cycles / 1024;
  std::printf("%s: %zu KB before, %zu KB after, %.2f KB a cycle\n", what, before / 1024, after / 1024, perCycle);
}

// 200 load/free cycles of each of our libraries, from the build's folders.
bool LoadFreeCycles() {
  const char* const libraries[] = {"QelVXWM.dll", "gsmonly\\QelVXWM.dll", "QelVxAux.dll", "wmcqel.dll"};
  for (const char* name : libraries) {
    std::string path = BinDir() + name;
    HMODULE library = LoadLibraryA(path.c_str());  // once first: what stays for good is not counted
    if (!library) {
      std::printf("device_bench: cannot load %s\n", path.c_str());
      return false;
    }
    FreeLibrary(library);
    size_t before = PrivateBytes();
    for (int i = 0; i < 200; ++i) {
      library = LoadLibraryA(path.c_str());
      if (!library) return false;
      FreeLibrary(library);
    }
    PrintMemory((std::string("200 load/free cycles of ") + name).c_str(), before, PrivateBytes(), 200);
  }
  return true;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int Run(int rounds);

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
  if (rounds < 1) rounds = 30;
  ComApartment apartment;
  if (!apartment.ok()) return 1;
  // Before anything of ours stays loaded here, so that each cycle really unloads.
  if (!LoadFreeCycles()) return 1;
  if (!RegisterSimService()) {
    std::printf("device_bench: cannot register the simulated-firmware service\n");
    return 1;
  }
  FirmwareSim firmware;
  if (!firmware.Open()) return 1;
  firmware.Reset();
  // The client library of the bench's own keeps the service running between queries.
  UniqueLibrary aux(LoadLibraryA((BinDir() + "QelVxAux.dll").c_str()));
  auto bind = [&](const char* name) { return aux ? reinterpret_cast<void*>(GetProcAddress(aux.get(), name)) : nullptr; };
  auto initialize = reinterpret_cast<PFN_QelHWInitialize>(bind("QelHWInitialize"));
  auto uninitialize = reinterpret_cast<PFN_QelHWUnInitialize>(bind("QelHWUnInitialize"));
  if (!initialize || !uninitialize || FAILED(initialize())) {
    std::printf("device_bench: the client library does not reach the service\n");
    return 1;
  }
  int result = Run(rounds);
  uninitialize();  // lets the service end with the run
  return result;
}

int Run(int rounds) {

  SimDeviceControl device;
  SimSdkControl sdk;
  if (!device.ok() || !sdk.ok()) return 1;
  ScriptSimCdmaModem(device, sdk);
  std::string dir = MakeModuleFolder("bench", {{"QelVXWM.dll", ""},
                                               {"QelVxAux.dll", ""},
                                               {"sim\\module\\QelCardDetect.dll", ""},
                                               {"sim\\sdk\\full\\Qel_Evdomx.dll", "qel_evdomx.dll"}});
  Module module;
  if (dir.empty() || !module.Load(dir)) {
    std::printf("device_bench: cannot assemble and load the module\n");
    return 1;
  }
  if (module.Query() != 0) return 1;
  std::wstring document = module.Document();
  std::vector<Element> elements = Elements(document);
  if (Tree(document).find("Technology{Type:CDMA}") == std::string::npos || elements.empty()) {
    std::printf("device_bench: the query found no CDMA modem: %s\n", Tree(document).c_str());
    return 1;
  }
  std::vector<Load> loads = QueryLoads(Wide(dir));
  std::wstring bareFile = Wide(AppDataLogs()) + L"QelVXWM-bare.xml";
  std::wstring bareText;
  if (!BareBuild(loads, elements, bareFile, &bareText) || Tree(bareText) != Tree(document)) {
    std::printf("device_bench: the bare build does not give the module's document\n");
    return 1;
  }

  std::vector<double> queryMs, bareMs, presenceMs;
  std::wstring auxPath = Wide(dir) + L"QelVxAux.dll";
  std::vector<wchar_t> buffer(document.size() + 1);
  for (int i = 0; i < rounds; ++i) {
    double start = Seconds();
    bool ok = module.Query() == 0;
    unsigned length = 0;
    ok = ok && module.Copy(nullptr, &length) == 2 && length <= buffer.size() &&
         module.Copy(buffer.data(), &length) == 0;
    queryMs.push_back((Seconds() - start) * 1000);
    start = Seconds();
    ok = ok && BareBuild(loads, elements, bareFile, &bareText);
    bareMs.push_back((Seconds() - start) * 1000);
    start = Seconds();
    ok = ok && PresenceCheck(auxPath);
    presenceMs.push_back((Seconds() - start) * 1000);
    if (!ok) {
      std::printf("device_bench: round %d failed\n", i);
      return 1;
    }
  }
  double query = Median(queryMs), bare = Median(bareMs), presence = Median(presenceMs);

  size_t before = PrivateBytes(), busyBefore = BusyHeapBytes();
  for (int i = 0; i < 200; ++i) {
    if (module.Query() != 0) return 1;
  }
  size_t after = PrivateBytes(), busyAfter = BusyHeapBytes();
  size_t bareBefore = BusyHeapBytes();
  for (int i = 0; i < 200; ++i) {
    if (!BareDeclaration()) return 1;
  }
  size_t bareAfter = BusyHeapBytes();
  auto perCycleKb = [](size_t from, size_t to) { return (static_cast<double>(to) - static_cast<double>(from)) / 200 / 1024; };

  std::printf("document: %zu elements, %zu characters; %d rounds\n", elements.size(), document.size(), rounds);
  std::printf("QelVXWMHQueryDeviceInfo + copy (CDMA modem): median %.2f ms\n", query);
  std::printf("bare DOM build of the same elements + the same %zu library loads: median %.2f ms\n", loads.size(),
              bare);
  std::printf("bare presence check (load, QelHWInitialize, QelHWGetPower, QelHWUnInitialize, free): median %.2f ms\n",
              presence);
  PrintMemory("200 queries", before, after, 200);
  double queryKeeps = perCycleKb(busyBefore, busyAfter), bareKeeps = perCycleKb(bareBefore, bareAfter);
  std::printf("busy heap kept: %.2f KB a query, %.2f KB a bare \"xml\" declaration (the DOM's own); "
              "the module's own: %.2f KB a query\n",
              queryKeeps, bareKeeps, queryKeeps - bareKeeps);
  std::printf("ratio query/(bare build + bare presence check): %.2f\n", query / (bare + presence));
  return 0;
}
