// Helpers of the device module tests: a module folder assembled from the build's files,
// the module loaded by path from it, documents compared as parsed trees, and the log.
#pragma once
#include <windows.h>
#include <msxml2.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "Handles.h"
#include "QelVXWM.h"
#ifndef UNICODE
#include "ServerProcess.h"  // narrow: its log helper is the narrow log's
#endif

namespace qeltest {

#ifdef UNICODE
inline std::string BinDir() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.find_last_of('\\') + 1);
}
#else

inline std::string X64Dir() { return sizeof(void*) == 8 ? BinDir() : BinDir() + "..\\..\\x64\\bin\\"; }
inline DWORD Firmware(const std::string& command) { return RunProgram(X64Dir() + "firmwarectl.exe", command); }
inline bool RegisterSimService() {
  return WaitServersGone() && RunProgram(X64Dir() + "sim\\QelVxWmi.exe", "-RegServer") == 0;
}
#endif

inline size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

// A file of the build tree (relative to bin\) copied into a module folder, under a name.
struct Part {
  std::string source;
  std::string name;  // empty: the source's file name
};

// The usual parts: the module, the client library and the card-detect library.
inline std::vector<Part> BaseParts(const std::string& module = "QelVXWM.dll", const std::string& name = "QelVXWM.dll") {
  return {{module, name}, {"QelVxAux.dll", ""}, {"sim\\module\\QelCardDetect.dll", ""}};
}

// A fresh folder bin\qelvxwm\<name>\ holding the parts.
inline std::string MakeModuleFolder(const std::string& name, const std::vector<Part>& parts) {
  std::string root = BinDir() + "qelvxwm\\";
  CreateDirectoryA(root.c_str(), nullptr);
  std::string dir = root + name + "\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((dir + "*.dll").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do DeleteFileA((dir + found.cFileName).c_str());
    while (FindNextFileA(h, &found));
    FindClose(h);
  }
  for (const Part& p : parts) {
    std::string file = p.name.empty() ? p.source.substr(p.source.find_last_of('\\') + 1) : p.name;
    if (!CopyFileA((BinDir() + p.source).c_str(), (dir + file).c_str(), FALSE)) return "";
  }
  return dir;
}

inline std::wstring Wide(const std::string& s) {
  std::wstring w(s.size(), L'\0');
  for (size_t i = 0; i < s.size(); ++i) w[i] = static_cast<unsigned char>(s[i]);
  return w;
}
inline std::string Narrow(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
  s.resize(s.size() - 1);
  return s;
}

// The module loaded by path, with its two exports.
struct Module {
  UniqueLibrary library;
  PFN_QelVXWMHQueryDeviceInfo Query = nullptr;
  PFN_QelVXWMHCopyDeviceInfo Copy = nullptr;

  bool Load(const std::string& dir, const std::string& name = "QelVXWM.dll") {
    return LoadPath(Wide(dir + name));
  }
  bool LoadPath(const std::wstring& path) {
    library.reset(LoadLibraryW(path.c_str()));
    if (!library) return false;
    Query = reinterpret_cast<PFN_QelVXWMHQueryDeviceInfo>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "QelVXWMHQueryDeviceInfo")));
    Copy = reinterpret_cast<PFN_QelVXWMHCopyDeviceInfo>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "QelVXWMHCopyDeviceInfo")));
    return Query && Copy;
  }
  // The cached document, or empty when the copy fails.
  std::wstring Document() {
    unsigned length = 0;
    if (Copy(nullptr, &length) != 2) return L"";
    std::wstring text(length, L'\0');
    if (Copy(&text[0], &length) != 0) return L"";
    text.resize(length - 1);
    return text;
  }
};

// A document as a tree text: name{children} or name:text, whitespace-only text dropped;
// "!" followed by the parser's reason when the text does not parse.
inline std::string Tree(IXMLDOMNode* node) {
  std::string out;
  UniqueBstr name;
  node->get_nodeName(name.put());
  out = Narrow(name.get() ? name.get() : L"");
  ComPtr<IXMLDOMNodeList> children;
  node->get_childNodes(children.put());
  long n = 0;
  if (children) children->get_length(&n);
  std::vector<std::string> elements;
  std::wstring text;
  for (long i = 0; i < n; ++i) {
    ComPtr<IXMLDOMNode> child;
    children->get_item(i, child.put());
    DOMNodeType type;
    child->get_nodeType(&type);
    if (type == NODE_ELEMENT) {
      elements.push_back(Tree(child.get()));
    } else if (type == NODE_TEXT) {
      UniqueBstr t;
      child->get_text(t.put());
      if (t.get()) text += t.get();
    }
  }
  if (elements.empty()) return out + ":" + Narrow(text);
  out += "{";
  for (size_t i = 0; i < elements.size(); ++i) out += (i ? "," : "") + elements[i];
  return out + "}";
}

inline std::string Tree(const std::wstring& xml) {
  const CLSID clsid = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  const IID iid = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  ComApartment apartment;
  ComPtr<IXMLDOMDocument> doc;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, doc.put_void()))) return "!no DOM";
  UniqueBstr source(xml.c_str());
  VARIANT_BOOL ok = VARIANT_FALSE;
  doc->loadXML(source.get(), &ok);
  if (!ok) {
    ComPtr<IXMLDOMParseError> error;
    doc->get_parseError(error.put());
    UniqueBstr reason;
    if (error) error->get_reason(reason.put());
    return "!does not parse: " + Narrow(reason.get() ? reason.get() : L"") + " in " + Narrow(xml);
  }
  ComPtr<IXMLDOMElement> root;
  doc->get_documentElement(root.put());
  if (!root) return "!no root";
  ComPtr<IXMLDOMNode> node;
  const IID nodeIid = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  root->QueryInterface(nodeIid, node.put_void());
  return Tree(node.get());
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::string Env(const char* name) {
  char value[1024];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n && n < sizeof value ? value : "";
}
inline std::string AppDataLogs() { return Env("APPDATA") + "\\Veltra Vazudari\\Logs\\"; }

constexpr const char* kHeader =
    "Header{Version:0.0.1,Copyright:Copyright (C) Veltra Vazudari Inc. All rights reserved.,"
    "Description:VX Welcome Module Interface Information}";

}  // namespace qeltest
