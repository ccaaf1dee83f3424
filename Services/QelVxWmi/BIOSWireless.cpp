#include "BIOSWireless.h"

#include <new>

#include "ComPtr.h"
#include "FunctionTrace.h"
#include "SafeString.h"
#include "devurezazeve.h"

namespace {

constexpr wchar_t kNamespace[] = L"\\\\.\\root\\wmi";
constexpr wchar_t kMethodClass[] = L"vxrBIntM";
constexpr wchar_t kDataInClass[] = L"vxrBDataIn";
constexpr LONG kNextTimeoutMs = 2000;
constexpr int kMaxNextCalls = 10;
constexpr int32_t kLengthMismatch = 87;

#define BIOS_LOG(...) TBDPrint(TBCT_INFO, TBDLT_INFO, __VA_ARGS__)

// A byte array owned for the length of one call.
class UniqueSafeArray {
 public:
  explicit UniqueSafeArray(SAFEARRAY* a = nullptr) : a_(a) {}
  ~UniqueSafeArray() {
    if (a_) SafeArrayDestroy(a_);
  }
  UniqueSafeArray(const UniqueSafeArray&) = delete;
  UniqueSafeArray& operator=(const UniqueSafeArray&) = delete;
  SAFEARRAY* get() const { return a_; }
  void reset() {
    if (a_) SafeArrayDestroy(a_);
    a_ = nullptr;
  }

 private:
  SAFEARRAY* a_;
};

HRESULT PutI4(IWbemClassObject* object, const wchar_t* name, int32_t value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return object->Put(name, 0, &v, 0);
}

// Element count of a one-dimensional byte array, or -1 when the variant holds none.
LONG ByteArrayCount(const VARIANT* v) {
  if (v->vt != (VT_ARRAY | VT_UI1) || !v->parray || SafeArrayGetDim(v->parray) != 1) return -1;
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(v->parray, 1, &lower)) || FAILED(SafeArrayGetUBound(v->parray, 1, &upper)))
    return -1;
  return upper - lower + 1;
}

}  // namespace

CBIOSWireless::CBIOSWireless(const CLSID& locatorClsid) : m_locatorClsid(locatorClsid) {
  FUNCTION_TRACE("CBIOSWireless::CBIOSWireless");
  VariantInit(&m_InstancePath);
}

CBIOSWireless::~CBIOSWireless() {
  FUNCTION_TRACE("CBIOSWireless::~CBIOSWireless");
  Release();
  VariantClear(&m_InstancePath);
}

void CBIOSWireless::Release() {
  FUNCTION_TRACE("CBIOSWireless::Release");
  if (m_pSink) {
    m_pSink->Release();
    m_pSink = nullptr;
  }
  if (m_pClass) {
    m_pClass->Release();
    m_pClass = nullptr;
  }
  if (m_pServices) {
    m_pServices->Release();
    m_pServices = nullptr;
  }
  if (m_pLocator) {
    m_pLocator->Release();
    m_pLocator = nullptr;
  }
}

bool CBIOSWireless::Connect() {
  FUNCTION_TRACE("CBIOSWireless::Connect");
  HRESULT hr = S_OK;
  do {
    if (!m_pLocator) {
      hr = CoCreateInstance(m_locatorClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                            reinterpret_cast<void**>(&m_pLocator));
      BIOS_LOG("CBIOSWireless::Connect - CoCreateInstance: 0x%08x", hr);
      if (FAILED(hr)) break;
    }
    if (!m_pServices) {
      UniqueBstr ns(kNamespace);
      hr = m_pLocator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &m_pServices);
      BIOS_LOG("CBIOSWireless::Connect - IWbemLocator->ConnectServer: 0x%08x", hr);
      if (FAILED(hr)) break;
    }
    UniqueBstr className(kMethodClass);
    if (m_pClass) {  // a repeated Connect fetches the class anew
      m_pClass->Release();
      m_pClass = nullptr;
    }
    hr = m_pServices->GetObject(className.get(), 0, nullptr, &m_pClass, nullptr);
    BIOS_LOG("CBIOSWireless::Connect - IWbemServices->GetObject: 0x%08x", hr);
    if (FAILED(hr) || !m_pClass) {
      if (SUCCEEDED(hr)) hr = E_FAIL;
      break;
    }
    ComPtr<IEnumWbemClassObject> instances;
    hr = m_pServices->CreateInstanceEnum(className.get(), WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                         nullptr, instances.put());
    BIOS_LOG("CBIOSWireless::Connect - IWbemServices->CreateInstanceEnum: 0x%08x", hr);
    if (FAILED(hr)) break;

    ComPtr<IWbemClassObject> instance;
    ULONG returned = 0;
    for (int call = 0; call < kMaxNextCalls; ++call) {
      returned = 0;
      hr = instances->Next(kNextTimeoutMs, 1, instance.put(), &returned);
      BIOS_LOG("CBIOSWireless::Connect - IEnumWbemClassObject->Next: 0x%08x", hr);
      if (hr != WBEM_S_TIMEDOUT) break;
    }
    instances.Reset();
    BIOS_LOG("CBIOSWireless::Connect - IEnumWbemClassObject->Release");

    if (FAILED(hr) || hr == WBEM_S_TIMEDOUT || returned == 0 || !instance) {
      hr = E_FAIL;
      break;
    }
    VariantClear(&m_InstancePath);
    hr = instance->Get(L"__PATH", 0, &m_InstancePath, nullptr, nullptr);
    BIOS_LOG("CBIOSWireless::Connect - IWbemClassObject->Get: 0x%08x", hr);
  } while (false);
  BIOS_LOG("CBIOSWireless::Connect - return: 0x%08x", hr);
  return SUCCEEDED(hr);
}

HRESULT CBIOSWireless::ExecMethod(int32_t command, int32_t commandType, uint32_t inputSize, int32_t outputSize,
                                  int32_t* returnCode, const BYTE* input, BYTE* output) {
  FUNCTION_TRACE("CBIOSWireless::ExecMethod");
  BIOS_LOG("CBIOSWireless::ExecMethod - Init input data");
  HRESULT hr = S_OK;
  UniqueVariant in, out;  // each frees the array it holds
  in->vt = VT_ARRAY | VT_UI1;
  if (inputSize != 0) {
    in->parray = SafeArrayCreateVector(VT_UI1, 0, inputSize);
    if (!in->parray) hr = E_OUTOFMEMORY;
    for (LONG i = 0; in->parray && i < static_cast<LONG>(inputSize); ++i) {
      BYTE b = input[i];
      hr = SafeArrayPutElement(in->parray, &i, &b);
      BIOS_LOG("CBIOSWireless::ExecMethod - SafeArrayPutElement: 0x%08x", hr);
      if (FAILED(hr)) break;
    }
  }
  out->vt = VT_ARRAY | VT_UI1;
  // A partly filled input would send the firmware bytes the caller never gave.
  if (SUCCEEDED(hr)) {
    if (outputSize > 0) {
      out->parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(outputSize));
      if (!out->parray) hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) {
      try {
        hr = WmiExecMethod(command, commandType, inputSize, outputSize, returnCode, in.get(), out.get());
      } catch (...) {
        hr = E_FAIL;
      }
    }
    if (SUCCEEDED(hr) && outputSize != 0) {
      LONG count = ByteArrayCount(out.get());
      if (count != outputSize) {
        if (returnCode) *returnCode = kLengthMismatch;
        hr = E_FAIL;
      } else {
        LONG lower = 0;
        SafeArrayGetLBound(out->parray, 1, &lower);
        for (LONG i = 0; i < count; ++i) {
          LONG index = lower + i;
          BYTE b = 0;
          if (SUCCEEDED(SafeArrayGetElement(out->parray, &index, &b))) output[i] = b;
        }
      }
    }
  }
  BIOS_LOG("CBIOSWireless::ExecMethod - returning 0x%08x", hr);
  return hr;
}

HRESULT CBIOSWireless::WmiExecMethod(int32_t command, int32_t commandType, uint32_t inputSize, int32_t outputSize,
                                     int32_t* returnCode, VARIANT* input, VARIANT* output) {
  FUNCTION_TRACE("CBIOSWireless::WmiExecMethod");
  // Room for any 32-bit count.
  char name[32];
  SafeSnprintf(name, sizeof name, "vxrBIOSInt%ld", static_cast<long>(outputSize));
  wchar_t wideName[32] = {};
  MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 31);

  m_Command = command;
  m_CommandType = commandType;
  m_InputSize = static_cast<int32_t>(inputSize);
  m_OutputSize = outputSize;

  HRESULT hr = S_OK;
  ComPtr<IWbemClassObject> signature;
  do {
    if (!m_pClass) {
      TBDPrint(TBDCT_LAST, TBDLT_ERROR,
               "CBIOSWireless::WmiExecMethod - Cannot continue, not connected (m_pClass = NULL)");
      hr = E_FAIL;
      break;
    }
    hr = m_pClass->GetMethod(wideName, 0, signature.put(), nullptr);
    BIOS_LOG("CBIOSWireless::WmiExecMethod - IWbemClassObject->GetMethod: 0x%08x", hr);
    if (FAILED(hr)) break;
    if (!signature) {
      hr = E_FAIL;
      break;
    }
    ComPtr<IWbemClassObject> inputObject;
    hr = signature->SpawnInstance(0, inputObject.put());
    BIOS_LOG("CBIOSWireless::WmiExecMethod - IWbemClassObject->SpawnInstance: 0x%08x", hr);
    if (FAILED(hr)) break;

    ComPtr<IWbemClassObject> dataInClass, dataIn;
    UniqueBstr dataInName(kDataInClass);
    hr = m_pServices->GetObject(dataInName.get(), 0, nullptr, dataInClass.put(), nullptr);
    BIOS_LOG("CBIOSWireless::WmiExecMethod - IWbemServices->GetObject: 0x%08x", hr);
    if (FAILED(hr)) break;
    if (!dataInClass) {
      hr = E_FAIL;
      break;
    }
    hr = dataInClass->SpawnInstance(0, dataIn.put());
    dataInClass.Reset();
    if (FAILED(hr)) break;

    hr = SetupDataIn(inputObject.get(), dataIn.get(), input);
    if (FAILED(hr)) break;

    UniqueBstr path(m_InstancePath.vt == VT_BSTR ? m_InstancePath.bstrVal : nullptr);
    UniqueBstr method(wideName);
    ComPtr<IWbemClassObject> outputObject;
    hr = m_pServices->ExecMethod(path.get(), method.get(), 0, nullptr, inputObject.get(), outputObject.put(), nullptr);
    BIOS_LOG("CBIOSWireless::WmiExecMethod - IWbemServices->ExecMethod: 0x%08x", hr);
    if (SUCCEEDED(hr)) hr = SetupDataOut(outputObject.Detach(), output);
  } while (false);
  signature.Reset();
  if (returnCode) *returnCode = m_rwReturnCode;
  BIOS_LOG("CBIOSWireless::WmiExecMethod - returning: 0x%08x", hr);
  return hr;
}

HRESULT CBIOSWireless::SetupDataIn(IWbemClassObject* inputObject, IWbemClassObject* dataIn, VARIANT* data) {
  FUNCTION_TRACE("CBIOSWireless::SetupDataIn");
  static const BYTE kSign[4] = {'S', 'E', 'C', 'U'};
  UniqueSafeArray sign(SafeArrayCreateVector(VT_UI1, 0, 4));
  HRESULT hr = sign.get() ? S_OK : E_OUTOFMEMORY;
  for (LONG i = 0; SUCCEEDED(hr) && i < 4; ++i) {
    BYTE b = kSign[i];
    hr = SafeArrayPutElement(sign.get(), &i, &b);
  }
  if (FAILED(hr)) {
    BIOS_LOG("CBIOSWireless::SetupDataIn - returning: 0x%08x", hr);
    return hr;
  }
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = sign.get();
  hr = dataIn->Put(L"Sign", 0, &v, 0);
  sign.reset();
  if (SUCCEEDED(hr)) hr = PutI4(dataIn, L"Command", m_Command);
  if (SUCCEEDED(hr)) hr = PutI4(dataIn, L"CommandType", m_CommandType);
  if (SUCCEEDED(hr)) hr = PutI4(dataIn, L"Size", m_InputSize);
  if (SUCCEEDED(hr)) hr = dataIn->Put(L"vxrBData", 0, data, 0);
  if (SUCCEEDED(hr)) {
    VARIANT unk;
    VariantInit(&unk);
    unk.vt = VT_UNKNOWN;
    unk.punkVal = dataIn;
    hr = inputObject->Put(L"InData", 0, &unk, 0);
  }
  BIOS_LOG("CBIOSWireless::SetupDataIn - returning: 0x%08x", hr);
  return hr;
}

HRESULT CBIOSWireless::SetupDataOut(IWbemClassObject* outputObject, VARIANT* data) {
  FUNCTION_TRACE("CBIOSWireless::SetupDataOut");
  ComPtr<IWbemClassObject> output;
  output.Attach(outputObject);
  UniqueVariant outData;
  HRESULT hr = E_FAIL;
  try {
    hr = output ? output->Get(L"OutData", 0, outData.get(), nullptr, nullptr) : E_FAIL;
  } catch (...) {
    hr = E_FAIL;
  }
  output.Reset();
  ComPtr<IWbemClassObject> result;
  // OutData must have been read and hold an object.
  if (SUCCEEDED(hr)) {
    if ((outData->vt == VT_UNKNOWN || outData->vt == VT_DISPATCH) && outData->punkVal)
      hr = outData->punkVal->QueryInterface(IID_IWbemClassObject, result.put_void());
    else
      hr = E_FAIL;
  }
  if (SUCCEEDED(hr)) {
    UniqueVariant code;
    hr = result->Get(L"rwReturnCode", 0, code.get(), nullptr, nullptr);
    if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(code.get(), code.get(), 0, VT_I4)))
      m_rwReturnCode = code->lVal;
    if (SUCCEEDED(hr) && m_OutputSize != 0) {
      UniqueVariant bytes;
      hr = result->Get(L"Data", 0, bytes.get(), nullptr, nullptr);
      if (SUCCEEDED(hr)) {  // replaces (and frees) the caller's array
        VariantClear(data);
        *data = *bytes.get();
        VariantInit(bytes.get());
      }
    }
  }
  result.Reset();
  BIOS_LOG("CBIOSWireless::SetupDataOut - returning: 0x%08x", hr);
  return hr;
}

bool CBIOSWireless::StartListeningForEvents() {
  FUNCTION_TRACE("CBIOSWireless::StartListeningForEvents");
  if (m_pSink) {
    BIOS_LOG("CBIOSWireless::StartListeningForEvents - CWirelessEventSink already created");
    return false;
  }
  if (!m_pServices) return false;
  m_pSink = new (std::nothrow) CWirelessEventSink();
  if (!m_pSink) return false;
  m_pSink->AddRef();
  UniqueBstr language(L"WQL"), query(L"SELECT * FROM vxrBEvnt");
  HRESULT hr = m_pServices->ExecNotificationQueryAsync(language.get(), query.get(), WBEM_FLAG_SEND_STATUS, nullptr,
                                                       m_pSink);
  BIOS_LOG("CBIOSWireless::StartListeningForEvents - IWbemServices->ExecNotificationQueryAsync: 0x%08x", hr);
  return hr == S_OK;
}

void CBIOSWireless::StopListeningForEvents() {
  FUNCTION_TRACE("CBIOSWireless::StopListeningForEvents");
  if (!m_pSink) return;
  BIOS_LOG("CBIOSWireless::StopListeningForEvents - CancelAsyncCall");
  if (m_pServices) m_pServices->CancelAsyncCall(m_pSink);
  CoDisconnectObject(m_pSink, 0);
  m_pSink->Release();
  m_pSink = nullptr;
}
