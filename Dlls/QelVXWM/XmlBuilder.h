// Document builder over the platform's XML DOM: one document, a current node below which
// content goes and a construction node made but not yet placed; element paths that create
// what is missing. Each failing DOM call becomes a message in LastError and a log line.
#pragma once
#include <windows.h>
#include <msxml2.h>

#include <string>
#include <vector>

#include "ComPtr.h"

class CXmlBuilder {
 public:
  virtual ~CXmlBuilder() = default;  // owners may delete through the base
  virtual bool Open() = 0;
  virtual void Close() = 0;
  virtual bool SelectNode(const std::wstring& path) = 0;
  virtual bool CreateNode(const std::wstring& name) = 0;
  virtual bool AddAttribute(const std::wstring& name, std::wstring value) = 0;
  virtual bool AddAttribute(const std::wstring& name, const wchar_t* value) = 0;
  virtual bool AddAttribute(const std::wstring& name, const char* value) = 0;
  virtual bool InsertElement() = 0;
  virtual bool Save(const std::wstring& path) = 0;
  virtual bool GetXmlAscii(const char** out) = 0;
  virtual bool GetXml(std::wstring& out) = 0;
  virtual bool InsertProcessingInstruction(const std::wstring& target, const std::wstring& data) = 0;
  virtual bool InsertXmlHeader() = 0;
  virtual bool Reformat() = 0;

  const std::wstring& LastError() const { return lastError_; }

 protected:
  std::wstring lastError_;
};

// An element path split at "/", empty pieces dropped.
class CXmlPath {
 public:
  explicit CXmlPath(const std::wstring& path);
  size_t Count() const { return parts_.size(); }
  std::wstring GetPart(size_t index) const;
  // "/a", "/a/b", ... up to and including the part at index; -1 stands for the last part.
  std::wstring GetPrefix(long index) const;

 private:
  std::vector<std::wstring> parts_;
  const std::wstring separator_ = L"/";
};

class CMsXmlBuilder : public CXmlBuilder {
 public:
  CMsXmlBuilder() = default;
  ~CMsXmlBuilder() override;
  CMsXmlBuilder(const CMsXmlBuilder&) = delete;
  CMsXmlBuilder& operator=(const CMsXmlBuilder&) = delete;

  bool Open() override;
  void Close() override;
  bool SelectNode(const std::wstring& path) override;
  bool CreateNode(const std::wstring& name) override;
  bool AddAttribute(const std::wstring& name, std::wstring value) override;
  bool AddAttribute(const std::wstring& name, const wchar_t* value) override;
  bool AddAttribute(const std::wstring& name, const char* value) override;
  bool InsertElement() override;
  bool Save(const std::wstring& path) override;
  bool GetXmlAscii(const char** out) override;
  bool GetXml(std::wstring& out) override;
  bool InsertProcessingInstruction(const std::wstring& target, const std::wstring& data) override;
  bool InsertXmlHeader() override;
  bool Reformat() override;

  virtual bool CreatePath(const std::wstring& path);
  virtual bool CreateAndSelect(const std::wstring& path);
  virtual bool AddElement(const wchar_t* name, const wchar_t* text, const wchar_t* parentPath);
  virtual bool SetNumber(int32_t number, bool hex);
  virtual bool SetText(std::wstring text);
  virtual bool SetNodeText(std::wstring path, std::wstring text);

 private:
  bool Fail(int32_t cls, int32_t type, const wchar_t* format, ...);
  bool Fail(const wchar_t* format, ...);

  ComPtr<IXMLDOMDocument> document_;
  ComPtr<IXMLDOMNode> currentNode_;
  ComPtr<IXMLDOMNode> constructionNode_;
  char* ansiText_ = nullptr;
  DWORD apartmentThread_ = 0;  // the thread whose CoInitializeEx this builder must undo; 0 for none
};
