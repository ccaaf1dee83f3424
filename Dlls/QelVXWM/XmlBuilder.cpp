#include "XmlBuilder.h"

#include <objsafe.h>

#include <cstdarg>
#include <cstring>
#include <new>

#include "SafeString.h"
#include "XmlBuilderTestSeams.h"
#include "devurezazeve.h"

namespace {

const CLSID kClsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomNode = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomElement = {0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};

const CLSID* g_documentClass = &kClsidDomDocument;
HRESULT g_getXmlFailure = S_OK;

// Where builder failures are logged; the older build logs all of them as information.
#ifdef QELVXWM_GSM_ONLY
constexpr int32_t kFailClass = TBDCT_LAST, kFailType = TBDLT_INFO;
constexpr int32_t kSelectClass = TBDCT_LAST, kSelectType = TBDLT_INFO;
#else
constexpr int32_t kFailClass = TBDCT_LAST, kFailType = TBDLT_ERROR;
constexpr int32_t kSelectClass = TBCT_INFO, kSelectType = TBDLT_ERROR;
#endif

constexpr int kMessageChars = 1024;

void SetInt(UniqueVariant& v, int32_t value) {
  v->vt = VT_I4;
  v->lVal = value;
}

// A string variant owning a copy of text; a failed allocation throws, as the DOM strings do.
void SetString(UniqueVariant& v, const std::wstring& text) {
  v->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!v->bstrVal) throw std::bad_alloc();
  v->vt = VT_BSTR;
}

UniqueBstr Bstr(const std::wstring& text) {
  UniqueBstr b;
  *b.put() = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!b.get()) throw std::bad_alloc();
  return b;
}

std::wstring FromAnsi(const char* text) {
  if (!text) return L"";
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return L"";
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

}  // namespace

void XmlBuilderTestSetDocumentClass(const CLSID* clsid) { g_documentClass = clsid ? clsid : &kClsidDomDocument; }
void XmlBuilderTestFailGetXml(HRESULT result) { g_getXmlFailure = result; }

CXmlPath::CXmlPath(const std::wstring& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(separator_, start);
    if (end == std::wstring::npos) end = path.size();
    if (end > start) parts_.push_back(path.substr(start, end - start));
    start = end + separator_.size();
  }
}

std::wstring CXmlPath::GetPart(size_t index) const { return index < parts_.size() ? parts_[index] : L""; }

std::wstring CXmlPath::GetPrefix(long index) const {
  if (index == -1) index = static_cast<long>(parts_.size()) - 1;
  if (index < 0 || static_cast<size_t>(index) >= parts_.size()) return L"";
  std::wstring prefix;
  for (long i = 0; i <= index; ++i) prefix += separator_ + parts_[static_cast<size_t>(i)];
  return prefix;
}

CMsXmlBuilder::~CMsXmlBuilder() {
  constructionNode_.Reset();
  currentNode_.Reset();
  document_.Reset();
  // Close, called by the owner first, frees the text and ends the apartment membership.
}

bool CMsXmlBuilder::Fail(int32_t cls, int32_t type, const wchar_t* format, ...) {
  wchar_t message[kMessageChars];
  va_list args;
  va_start(args, format);
  FormatCut(message, kMessageChars, format, args);
  va_end(args);
  lastError_ = message;
  TBDPrint(cls, type, L"%s", message);
  return false;
}

bool CMsXmlBuilder::Fail(const wchar_t* format, ...) {
  wchar_t message[kMessageChars];
  va_list args;
  va_start(args, format);
  FormatCut(message, kMessageChars, format, args);
  va_end(args);
  lastError_ = message;
  TBDPrint(kFailClass, kFailType, L"%s", message);
  return false;
}

bool CMsXmlBuilder::Open() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return false;
  apartmentThread_ = GetCurrentThreadId();
  HRESULT hr = CoCreateInstance(*g_documentClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                kIidXmlDomDocument, document_.put_void());
  if (FAILED(hr) || !document_) {
    document_.Reset();
    return Fail(L"CoCreateInstance failed, hr = %8.8X", static_cast<unsigned>(hr));
  }
  ComPtr<IObjectSafety> safety;
  if (SUCCEEDED(document_->QueryInterface(kIidObjectSafety, safety.put_void())) && safety) {
    DWORD supported = 0, enabled = 0;
    safety->GetInterfaceSafetyOptions(kIidXmlDomDocument, &supported, &enabled);
    safety->SetInterfaceSafetyOptions(kIidXmlDomDocument, supported, 0);
  }
  document_->QueryInterface(kIidXmlDomNode, currentNode_.put_void());
  ansiText_ = nullptr;
  return true;
}

void CMsXmlBuilder::Close() {
  delete[] ansiText_;
  ansiText_ = nullptr;
  document_.Reset();
  currentNode_.Reset();
  constructionNode_.Reset();
  // COM membership can be ended only on the thread that began it; elsewhere it is left.
  if (apartmentThread_ && apartmentThread_ == GetCurrentThreadId()) CoUninitialize();
  apartmentThread_ = 0;
}

bool CMsXmlBuilder::SelectNode(const std::wstring& path) {
  currentNode_.Reset();
  if (!document_) return false;
  UniqueBstr query = Bstr(path);
  HRESULT hr = document_->selectSingleNode(query.get(), currentNode_.put());
  if (FAILED(hr) || hr == S_FALSE || !currentNode_) {
    currentNode_.Reset();
    return Fail(kSelectClass, kSelectType, L"selectSingleNode %s failed, hr = %8.8X", path.c_str(),
                static_cast<unsigned>(hr));
  }
  return true;
}

bool CMsXmlBuilder::CreateNode(const std::wstring& name) {
  if (!document_) return false;
  UniqueVariant type;
  SetInt(type, NODE_ELEMENT);
  UniqueBstr nodeName = Bstr(name);
  ComPtr<IXMLDOMNode> node;
  HRESULT hr = document_->createNode(*type.get(), nodeName.get(), nullptr, node.put());
  if (FAILED(hr) || !node) return Fail(L"createNode %s failed, hr = %8.8X", name.c_str(), static_cast<unsigned>(hr));
  constructionNode_ = std::move(node);
  return true;
}

bool CMsXmlBuilder::AddAttribute(const std::wstring& name, std::wstring value) {
  if (!constructionNode_) return Fail(L"AddAttribute failed, no construction node");
  ComPtr<IXMLDOMElement> element;
  HRESULT hr = constructionNode_->QueryInterface(kIidXmlDomElement, element.put_void());
  if (SUCCEEDED(hr)) {
    UniqueBstr attribute = Bstr(name);
    UniqueVariant v;
    SetString(v, value);
    hr = element->setAttribute(attribute.get(), *v.get());
  }
  if (FAILED(hr))
    return Fail(L"setAttribute %s=%s failed, hr = %8.8X", name.c_str(), value.c_str(), static_cast<unsigned>(hr));
  return true;
}

bool CMsXmlBuilder::AddAttribute(const std::wstring& name, const wchar_t* value) {
  return AddAttribute(name, std::wstring(value ? value : L""));
}

bool CMsXmlBuilder::AddAttribute(const std::wstring& name, const char* value) {
  return AddAttribute(name, FromAnsi(value));
}

bool CMsXmlBuilder::InsertElement() {
  if (!constructionNode_) return Fail(L"InsertElement failed, no construction node");
  if (!currentNode_) return false;
  ComPtr<IXMLDOMNode> added;
  HRESULT hr = currentNode_->appendChild(constructionNode_.get(), added.put());
  if (FAILED(hr)) return Fail(L"appendChild failed, hr = %8.8X", static_cast<unsigned>(hr));
  constructionNode_.Reset();
  return true;
}

bool CMsXmlBuilder::Save(const std::wstring& path) {
  UniqueVariant target;
  SetString(target, path);
  if (!document_) return Fail(L"No document to save to %s!", path.c_str());
  HRESULT hr = document_->save(*target.get());
  if (FAILED(hr)) return Fail(L"save to %s failed, hr = %8.8X", path.c_str(), static_cast<unsigned>(hr));
  return true;
}

bool CMsXmlBuilder::GetXmlAscii(const char** out) {
  std::wstring text;
  if (!GetXml(text)) return false;
  delete[] ansiText_;
  ansiText_ = nullptr;
  // The first call sizes the block; the second fills it and must write all of it.
  int needed = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (needed > 0) ansiText_ = new (std::nothrow) char[static_cast<size_t>(needed)];
  if (!ansiText_) return Fail(L"GetXmlAscii new failed.");
  ansiText_[0] = 0;
  if (WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansiText_, needed, nullptr, nullptr) != needed) {
    delete[] ansiText_;
    ansiText_ = nullptr;
    return Fail(L"GetXmlAscii conversion failed: %u", static_cast<unsigned>(GetLastError()));
  }
  *out = ansiText_;
  return true;
}

bool CMsXmlBuilder::GetXml(std::wstring& out) {
  if (!document_) return false;
  UniqueBstr text;
  HRESULT hr = FAILED(g_getXmlFailure) ? g_getXmlFailure : document_->get_xml(text.put());
  if (FAILED(hr)) return Fail(L"get_xml failed, hr = %8.8X", static_cast<unsigned>(hr));
  out.assign(text.get() ? text.get() : L"", text.get() ? SysStringLen(text.get()) : 0);
  return true;
}

bool CMsXmlBuilder::InsertProcessingInstruction(const std::wstring& target, const std::wstring& data) {
  if (!document_) return false;
  UniqueBstr t = Bstr(target), d = Bstr(data);
  ComPtr<IXMLDOMProcessingInstruction> pi;
  HRESULT hr = document_->createProcessingInstruction(t.get(), d.get(), pi.put());
  if (FAILED(hr) || !pi)
    return Fail(L"createProcessingInstruction failed, %s %s hr = %8.8X", target.c_str(), data.c_str(),
                static_cast<unsigned>(hr));
  if (!currentNode_) return false;
  ComPtr<IXMLDOMNode> added;
  hr = currentNode_->appendChild(pi.get(), added.put());
  if (FAILED(hr)) return Fail(L"appendChild failed, hr = %8.8X", static_cast<unsigned>(hr));
  return true;
}

bool CMsXmlBuilder::InsertXmlHeader() {
  if (!document_) return false;
  // The declaration carries its version: without one the text is not XML that every parser
  // (the caller's included) reads back.
  UniqueBstr name = Bstr(L"xml"), data = Bstr(L"version=\"1.0\"");
  ComPtr<IXMLDOMProcessingInstruction> header;
  HRESULT hr = document_->createProcessingInstruction(name.get(), data.get(), header.put());
  if (FAILED(hr) || !header) return Fail(L"InsertXmlHeader failed, hr = %8.8X", static_cast<unsigned>(hr));
  if (!currentNode_) return false;
  ComPtr<IXMLDOMNode> added;
  hr = currentNode_->appendChild(header.get(), added.put());
  if (FAILED(hr)) return Fail(L"appendChild failed, hr = %8.8X", static_cast<unsigned>(hr));
  return true;
}

bool CMsXmlBuilder::Reformat() {
  std::wstring text;
  if (!GetXml(text)) return false;
  for (size_t i = 1; i < text.size(); ++i)
    if (text[i - 1] == L'>' && text[i] == L'<') text.insert(i, L" ");
  UniqueBstr source = Bstr(text);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document_->loadXML(source.get(), &loaded);
  return true;
}

bool CMsXmlBuilder::CreatePath(const std::wstring& path) {
  CXmlPath parts(path);
  for (size_t i = 0; i < parts.Count(); ++i) {
    if (SelectNode(parts.GetPrefix(static_cast<long>(i)))) continue;
    if (i == 0) {
      SelectNode(L"/");
    } else if (!SelectNode(parts.GetPrefix(static_cast<long>(i) - 1))) {
      return false;
    }
    if (!CreateNode(parts.GetPart(i)) || !InsertElement()) return false;
  }
  return true;
}

bool CMsXmlBuilder::CreateAndSelect(const std::wstring& path) { return CreatePath(path) && SelectNode(path); }

bool CMsXmlBuilder::AddElement(const wchar_t* name, const wchar_t* text, const wchar_t* parentPath) {
  if (parentPath) SelectNode(parentPath);
  if (!CreateNode(name ? name : L"") || !InsertElement()) return false;
  return text ? SetNodeText(name ? name : L"", text) : true;
}

bool CMsXmlBuilder::SetNumber(int32_t number, bool hex) {
  wchar_t text[16];
  SafeSnwprintf(text, 16, hex ? L"#%x" : L"%i", number);
  return SetText(text);
}

bool CMsXmlBuilder::SetText(std::wstring text) {
  HRESULT hr = E_POINTER;
  if (currentNode_) {
    UniqueBstr value = Bstr(text);
    hr = currentNode_->put_text(value.get());
  }
  if (SUCCEEDED(hr) && currentNode_) return true;
#ifdef QELVXWM_GSM_ONLY
  wchar_t message[kMessageChars];
  SafeSnwprintf(message, kMessageChars, L"put_text failed, hr = %8.8X", static_cast<unsigned>(hr));
  lastError_ = message;  // the older build keeps this one out of the log
  return false;
#else
  return Fail(L"put_text failed, hr = %8.8X", static_cast<unsigned>(hr));
#endif
}

bool CMsXmlBuilder::SetNodeText(std::wstring path, std::wstring text) {
  if (!currentNode_) return false;
  UniqueBstr query = Bstr(path);
  ComPtr<IXMLDOMNodeList> list;
  HRESULT hr = currentNode_->selectNodes(query.get(), list.put());
  if (FAILED(hr) || !list) return Fail(L"selectNodes %s failed, hr = %8.8X", path.c_str(), static_cast<unsigned>(hr));
  long length = 0;
  hr = list->get_length(&length);
  if (FAILED(hr)) return Fail(L"get_length failed, hr = %8.8X", static_cast<unsigned>(hr));
  if (length <= 0) return Fail(L"numOfNodes less than 0 = %i", static_cast<int>(length));
  ComPtr<IXMLDOMNode> first;
  hr = list->nextNode(first.put());
  if (FAILED(hr)) return Fail(L"nextNode failed, hr = %8.8X", static_cast<unsigned>(hr));
  if (first) {
    UniqueBstr value = Bstr(text);
    hr = first->put_text(value.get());
  }
  if (FAILED(hr) || !first) return Fail(L"put_text failed, hr = %8.8X", static_cast<unsigned>(hr));
  return true;
}
