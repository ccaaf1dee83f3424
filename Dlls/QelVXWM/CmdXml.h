// The device information document: one process-wide object that owns the builder for one
// query and writes the document element by element from the query's records.
#pragma once
#include <memory>
#include <string>

#include "DeviceRecords.h"
#include "XmlBuilder.h"

class CCmdXml {
 public:
  static CCmdXml* Instance();
  static void DeleteInstance();

  bool Initialize();
#ifndef QELVXWM_GSM_ONLY
  bool SetSdkInfoCm(SDK_INFO_CM info);
  bool SetDevSummary(DEV_SUMMARY summary);
  bool SetDevInfo(DEV_INFO_CDMA info);
  bool SetDevInfoCm(DEV_INFO info);
  bool SetSdkInfo(SDK_INFO info);
#else
  bool SetSdkInfo(SDK_INFO_GSM info);
#endif
  bool SetDevInfo(DEV_INFO_GSM info);
  bool SetStatus(const wchar_t* text);
  bool SetSimInfo(SIM_INFO sim);
  // The document's text into cache, and the document saved as "QelVXWM.xml" in the log folder.
  bool GetXmlDoc(std::wstring& cache);

  CCmdXml(const CCmdXml&) = delete;
  CCmdXml& operator=(const CCmdXml&) = delete;

 private:
  CCmdXml();
  ~CCmdXml();

  static std::wstring MakePath(const wchar_t* a, const wchar_t* b, const wchar_t* c, const wchar_t* d,
                               const wchar_t* e);
  // CreatePath, SelectNode, SetText of one element; false at the first call that fails.
  bool WriteElement(const std::wstring& path, const wchar_t* text);
  void WriteElement(const std::wstring& path, const wchar_t* text, const wchar_t* failure);
  void WriteIfSet(const std::wstring& path, const wchar_t* text, const wchar_t* failure);

  bool initialized_ = false;
  std::unique_ptr<CMsXmlBuilder> builder_;
};
