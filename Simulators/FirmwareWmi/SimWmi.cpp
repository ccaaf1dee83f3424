#include "SimWmi.h"

#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <new>
#include <thread>

#include "ComPtr.h"
#include "FirmwareSim.h"

namespace {

// {0B4C3E2A-7D51-4E0C-8A3B-5C6D7E8F9012}: hands out the stand-in object behind an interface.
constexpr IID IID_SimObject = {0x0B4C3E2A, 0x7D51, 0x4E0C, {0x8A, 0x3B, 0x5C, 0x6D, 0x7E, 0x8F, 0x90, 0x12}};

template <class I>
class SimUnknown : public I {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == __uuidof(I)) {
      *ppv = static_cast<I*>(this);
      this->AddRef();
      return S_OK;
    }
    if (riid == IID_SimObject) {  // no reference taken
      *ppv = this;
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&ref_); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG r = InterlockedDecrement(&ref_);
    if (r == 0) delete this;
    return r;
  }

 protected:
  virtual ~SimUnknown() = default;

 private:
  LONG ref_ = 1;
};

template <class T>
ComPtr<T> Adopt(T* p) {  // takes over the reference a new object starts with
  ComPtr<T> c;
  c.Attach(p);
  return c;
}

constexpr wchar_t kMethodClass[] = L"vxrBIntM";
constexpr wchar_t kDataInClass[] = L"vxrBDataIn";
constexpr wchar_t kMethodPrefix[] = L"vxrBIOSInt";
constexpr wchar_t kInstancePath[] = L"\\\\SIM\\root\\wmi:vxrBIntM.InstanceName=\"SIM\\FW\\0\"";

std::vector<BYTE> ArrayBytes(SAFEARRAY* array) {
  std::vector<BYTE> bytes;
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  for (LONG i = lower; i <= upper; ++i) {
    BYTE b = 0;
    SafeArrayGetElement(array, &i, &b);
    bytes.push_back(b);
  }
  return bytes;
}

enum class Kind { MethodClass, Instance, InSignature, MethodInput, DataInClass, DataIn, Output, OutData, Event };

// A WMI object as a bag of named values.
class SimObject : public SimUnknown<IWbemClassObject> {
 public:
  explicit SimObject(Kind kind, std::wstring name = L"") : kind_(kind), name_(std::move(name)) {}
  Kind kind() const { return kind_; }
  const std::wstring& name() const { return name_; }
  const std::vector<SimPut>& puts() const { return puts_; }

  void Set(const wchar_t* name, const VARIANT& value) {
    VARIANT& slot = props_[name];
    VariantClear(&slot);
    VariantCopy(&slot, const_cast<VARIANT*>(&value));
  }
  void SetI4(const wchar_t* name, LONG value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    Set(name, v);
  }
  void SetBytes(const wchar_t* name, const BYTE* bytes, int count) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = SafeArrayCreateVector(VT_UI1, 0, count);
    for (LONG i = 0; v.parray && i < count; ++i) SafeArrayPutElement(v.parray, &i, const_cast<BYTE*>(&bytes[i]));
    Set(name, v);
    VariantClear(&v);
  }
  void SetObject(const wchar_t* name, IUnknown* object) {
    VARIANT v;
    v.vt = VT_UNKNOWN;
    v.punkVal = object;
    Set(name, v);
  }
  const VARIANT* Find(const wchar_t* name) const {
    auto it = props_.find(name);
    return it == props_.end() ? nullptr : &it->second;
  }

  STDMETHODIMP Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type, LONG* flavor) override {
    const VARIANT* found = name ? Find(name) : nullptr;
    if (!found) return WBEM_E_NOT_FOUND;
    if (value) {
      VariantInit(value);
      HRESULT hr = VariantCopy(value, const_cast<VARIANT*>(found));
      if (FAILED(hr)) return hr;
    }
    if (type) *type = found->vt == VT_I4 ? CIM_SINT32 : found->vt == VT_BSTR ? CIM_STRING : CIM_OBJECT;
    if (flavor) *flavor = 0;
    return WBEM_S_NO_ERROR;
  }
  STDMETHODIMP Put(LPCWSTR name, LONG, VARIANT* value, CIMTYPE type) override {
    if (!name || !value) return WBEM_E_INVALID_PARAMETER;
    SimPut put{name, value->vt, type, {}, value->vt == VT_I4 ? value->lVal : 0, false};
    if ((value->vt & VT_ARRAY) && value->parray) {
      put.hasArray = true;
      put.bytes = ArrayBytes(value->parray);
    }
    puts_.push_back(put);
    Set(name, *value);
    return WBEM_S_NO_ERROR;
  }
  STDMETHODIMP SpawnInstance(LONG, IWbemClassObject** out) override {
    if (!out) return WBEM_E_INVALID_PARAMETER;
    *out = nullptr;
    Kind spawned;
    if (kind_ == Kind::InSignature)
      spawned = Kind::MethodInput;
    else if (kind_ == Kind::DataInClass)
      spawned = Kind::DataIn;
    else
      return WBEM_E_INVALID_OPERATION;
    *out = new (std::nothrow) SimObject(spawned, name_);
    return *out ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
  }
  STDMETHODIMP GetMethod(LPCWSTR name, LONG, IWbemClassObject** in, IWbemClassObject** out) override {
    if (out) *out = nullptr;
    if (in) *in = nullptr;
    if (kind_ != Kind::MethodClass || !name) return WBEM_E_INVALID_OPERATION;
    SimWmiRecord().methods.push_back(name);
    size_t prefix = std::wcslen(kMethodPrefix);
    if (std::wcsncmp(name, kMethodPrefix, prefix) != 0 || name[prefix] == 0) return WBEM_E_NOT_FOUND;
    for (const wchar_t* p = name + prefix; *p; ++p)
      if (*p < L'0' || *p > L'9') return WBEM_E_NOT_FOUND;
    if (in) *in = new (std::nothrow) SimObject(Kind::InSignature, name);
    return WBEM_S_NO_ERROR;
  }

  // The rest of the interface is not used by the firmware's callers.
  STDMETHODIMP GetQualifierSet(IWbemQualifierSet**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP Delete(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP BeginEnumeration(LONG) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP EndEnumeration() override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP Clone(IWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP GetObjectText(LONG, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP SpawnDerivedClass(LONG, IWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP CompareTo(LONG, IWbemClassObject*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP GetPropertyOrigin(LPCWSTR, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP InheritsFrom(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP DeleteMethod(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP BeginMethodEnumeration(LONG) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP EndMethodEnumeration() override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP GetMethodOrigin(LPCWSTR, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }

 private:
  ~SimObject() override {
    for (auto& p : props_) VariantClear(&p.second);
  }
  Kind kind_;
  std::wstring name_;
  std::map<std::wstring, VARIANT> props_;
  std::vector<SimPut> puts_;
};

SimObject* AsSim(IUnknown* p) {
  void* sim = nullptr;
  if (!p || FAILED(p->QueryInterface(IID_SimObject, &sim))) return nullptr;
  return static_cast<SimObject*>(static_cast<SimUnknown<IWbemClassObject>*>(sim));
}

class SimEnum : public SimUnknown<IEnumWbemClassObject> {
 public:
  explicit SimEnum(FirmwareSim& sim) : sim_(sim) {}
  STDMETHODIMP Next(LONG, ULONG count, IWbemClassObject** objects, ULONG* returned) override {
    if (!objects || !returned) return WBEM_E_INVALID_PARAMETER;
    *returned = 0;
    ++SimWmiRecord().nextCalls;
    FirmwareSimBlock b = sim_.Snapshot();
    if (b.timeoutsBeforeInstance < 0 || timeouts_ < b.timeoutsBeforeInstance) {
      ++timeouts_;
      return WBEM_S_TIMEDOUT;
    }
    if (done_ || count == 0 || (b.flags & kSimNoInstance)) return WBEM_S_FALSE;
    auto* instance = new (std::nothrow) SimObject(Kind::Instance, kMethodClass);
    if (!instance) return WBEM_E_OUT_OF_MEMORY;
    UniqueBstr path(kInstancePath);
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = path.get();
    instance->Set(L"__PATH", v);
    objects[0] = instance;
    *returned = 1;
    done_ = true;
    return count == 1 ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }
  STDMETHODIMP Reset() override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP NextAsync(ULONG, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP Clone(IEnumWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP Skip(LONG, ULONG) override { return WBEM_E_NOT_SUPPORTED; }

 private:
  FirmwareSim& sim_;
  int timeouts_ = 0;
  bool done_ = false;
};

// Delivers the firmware's events to the query's sink on the thread that started the
// query, through that thread's message loop, as WMI delivers them.
class EventPump {
 public:
  static constexpr UINT kDeliver = WM_APP + 1;

  EventPump(FirmwareSim& sim, IWbemObjectSink* sink) : sim_(sim), sink_(sink) {}
  ~EventPump() { Stop(); }

  bool Start() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QelVxFirmwareSimPump";
    RegisterClassW(&wc);
    window_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!window_) return false;
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HWND target = window_;
    HANDLE fired = sim_.EventHandle(), stop = stop_.get();
    watcher_ = std::thread([target, fired, stop] {
      HANDLE waits[] = {stop, fired};
      while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        PostMessageW(target, kDeliver, 0, 0);
    });
    return true;
  }

  void Stop() {
    if (watcher_.joinable()) {
      SetEvent(stop_.get());
      watcher_.join();
    }
    if (window_) {
      DestroyWindow(window_);
      window_ = nullptr;
    }
    if (sink_) {
      ++SimWmiRecord().statusCompletes;
      sink_->SetStatus(WBEM_STATUS_COMPLETE, WBEM_E_CALL_CANCELLED, nullptr, nullptr);
      sink_.Reset();
    }
  }

  IWbemObjectSink* sink() const { return sink_.get(); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<EventPump*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == kDeliver && self) {
      self->Deliver();
      return 0;
    }
    return DefWindowProcW(window, message, w, l);
  }
  void Deliver() {
    if (!sink_) return;
    FirmwareSimBlock b = sim_.Snapshot();
    ComPtr<IWbemClassObject> event;
    if (SUCCEEDED(CreateSimEventObject(b.eventId, b.eventData, event.put()))) {
      ComPtr<IWbemObjectSink> sink(sink_);  // the sink may cancel the query from inside
      IWbemClassObject* objects[] = {event.get()};
      sink->Indicate(1, objects);
    }
  }

  FirmwareSim& sim_;
  ComPtr<IWbemObjectSink> sink_;
  HWND window_ = nullptr;
  UniqueKernelHandle stop_;
  std::thread watcher_;
};

void ApplyWrite(FirmwareSimBlock& b, const std::vector<BYTE>& data, LONG* returnCode) {
  bool present = (b.status[0] & 0x04) != 0;
  bool switchable = (b.status[3] & 0x0C) == 0x0C;
  if (data.size() != 4 || !present || !switchable) {  // the firmware refuses
    ++b.refusedWrites;
    *returnCode = 1;
    return;
  }
  std::memcpy(b.lastWrite, data.data(), 4);
  if (data[0] == 0x04) b.status[3] |= 0x01;
  if (data[0] == 0xFB) b.status[3] &= ~0x01;
  ++b.writes;
  *returnCode = b.returnCode;
}

class SimServices : public SimUnknown<IWbemServices> {
 public:
  SimServices() { sim_.Open(); }

  STDMETHODIMP GetObject(const BSTR path, LONG, IWbemContext*, IWbemClassObject** object,
                         IWbemCallResult**) override {
    if (!object) return WBEM_E_INVALID_PARAMETER;
    *object = nullptr;
    if (path && std::wcscmp(path, kMethodClass) == 0 && !(sim_.Snapshot().flags & kSimNoClass))
      *object = new (std::nothrow) SimObject(Kind::MethodClass, kMethodClass);
    else if (path && std::wcscmp(path, kDataInClass) == 0 && (sim_.Snapshot().flags & kSimNullDataInClass))
      return WBEM_S_NO_ERROR;
    else if (path && std::wcscmp(path, kDataInClass) == 0)
      *object = new (std::nothrow) SimObject(Kind::DataInClass, kDataInClass);
    else
      return WBEM_E_NOT_FOUND;
    return *object ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
  }

  STDMETHODIMP CreateInstanceEnum(const BSTR filter, LONG flags, IWbemContext*, IEnumWbemClassObject** out) override {
    if (!out) return WBEM_E_INVALID_PARAMETER;
    *out = nullptr;
    SimWmiRecord().enumFlags = flags;
    if (!filter || std::wcscmp(filter, kMethodClass) != 0 || (sim_.Snapshot().flags & kSimNoClass))
      return WBEM_E_INVALID_CLASS;
    *out = new (std::nothrow) SimEnum(sim_);
    return *out ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
  }

  STDMETHODIMP ExecMethod(const BSTR path, const BSTR method, LONG, IWbemContext*, IWbemClassObject* in,
                          IWbemClassObject** out, IWbemCallResult**) override {
    SimWmiCalls& record = SimWmiRecord();
    record.execPath = path ? path : L"";
    record.execMethod = method ? method : L"";
    if (out) *out = nullptr;
    size_t prefix = std::wcslen(kMethodPrefix);
    if (!method || std::wcsncmp(method, kMethodPrefix, prefix) != 0) return WBEM_E_INVALID_METHOD;
    int asked = _wtoi(method + prefix);

    SimObject* input = AsSim(in);
    const VARIANT* inData = input ? input->Find(L"InData") : nullptr;
    record.inDataVt = inData ? inData->vt : VARTYPE(VT_EMPTY);
    SimObject* dataIn = inData && inData->vt == VT_UNKNOWN ? AsSim(inData->punkVal) : nullptr;
    if (!dataIn) return WBEM_E_INVALID_METHOD_PARAMETERS;
    record.dataInPuts = dataIn->puts();

    auto bytesOf = [dataIn](const wchar_t* name) {
      const VARIANT* v = dataIn->Find(name);
      return v && v->vt == (VT_ARRAY | VT_UI1) && v->parray ? ArrayBytes(v->parray) : std::vector<BYTE>();
    };
    auto i4Of = [dataIn](const wchar_t* name) {
      const VARIANT* v = dataIn->Find(name);
      return v && v->vt == VT_I4 ? v->lVal : -1;
    };
    if (bytesOf(L"Sign") != std::vector<BYTE>{'S', 'E', 'C', 'U'}) return WBEM_E_ACCESS_DENIED;
    LONG command = i4Of(L"Command");
    std::vector<BYTE> data = bytesOf(L"vxrBData");
    if (i4Of(L"CommandType") != 5 || i4Of(L"Size") != static_cast<LONG>(data.size()))
      return WBEM_E_INVALID_METHOD_PARAMETERS;

    LONG returnCode = 0;
    FirmwareSimBlock b = {};
    HRESULT hr = WBEM_S_NO_ERROR;
    sim_.Update([&](FirmwareSimBlock& block) {
      if (command == 1) {
        if (block.flags & kSimFailRead) hr = WBEM_E_FAILED;
        else ++block.reads, returnCode = block.returnCode;
      } else if (command == 2) {
        if (block.flags & kSimFailWrite) hr = WBEM_E_FAILED;
        else ApplyWrite(block, data, &returnCode);
      } else {
        returnCode = 2;  // unknown command
      }
      b = block;
    });
    if (FAILED(hr)) return hr;

    auto outData = Adopt(new (std::nothrow) SimObject(Kind::OutData));
    auto output = Adopt(new (std::nothrow) SimObject(Kind::Output));
    if (!outData || !output) return WBEM_E_OUT_OF_MEMORY;
    outData->SetI4(L"rwReturnCode", returnCode);
    if (asked > 0) {
      int count = b.answerCount >= 0 ? b.answerCount : asked;
      BYTE bytes[64] = {};
      std::memcpy(bytes, b.status, 4);
      outData->SetBytes(L"Data", bytes, count < 64 ? count : 64);
    }
    if (!(b.flags & kSimNoOutData)) output->SetObject(L"OutData", static_cast<IWbemClassObject*>(outData.get()));
    if (out) *out = output.Detach();
    return WBEM_S_NO_ERROR;
  }

  STDMETHODIMP ExecNotificationQueryAsync(const BSTR language, const BSTR query, LONG flags, IWbemContext*,
                                          IWbemObjectSink* sink) override {
    SimWmiCalls& record = SimWmiRecord();
    record.queryLanguage = language ? language : L"";
    record.query = query ? query : L"";
    record.queryFlags = flags;
    if (!sink) return WBEM_E_INVALID_PARAMETER;
    if (sim_.Snapshot().flags & kSimFailSubscribe) return WBEM_E_FAILED;
    if (!language || _wcsicmp(language, L"WQL") != 0) return WBEM_E_INVALID_QUERY_TYPE;
    if (!query || _wcsicmp(query, L"SELECT * FROM vxrBEvnt") != 0) return WBEM_E_INVALID_QUERY;
    auto pump = std::make_unique<EventPump>(sim_, sink);
    if (!pump->Start()) return WBEM_E_FAILED;
    pumps_.push_back(std::move(pump));
    return WBEM_S_NO_ERROR;
  }

  STDMETHODIMP CancelAsyncCall(IWbemObjectSink* sink) override {
    ++SimWmiRecord().cancelCalls;
    for (auto it = pumps_.begin(); it != pumps_.end(); ++it) {
      if ((*it)->sink() != sink) continue;
      pumps_.erase(it);
      return WBEM_S_NO_ERROR;
    }
    return WBEM_E_NOT_FOUND;
  }

  // The rest of the interface is not used by the firmware's callers.
  STDMETHODIMP OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**, IWbemCallResult**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP QueryObjectSink(LONG, IWbemObjectSink**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP CreateClassEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP PutInstance(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP DeleteInstance(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP ExecQuery(const BSTR, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
  STDMETHODIMP ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }

 private:
  FirmwareSim sim_;
  std::vector<std::unique_ptr<EventPump>> pumps_;
};

class SimLocator : public SimUnknown<IWbemLocator> {
 public:
  STDMETHODIMP ConnectServer(const BSTR resource, const BSTR, const BSTR, const BSTR, LONG, const BSTR,
                             IWbemContext*, IWbemServices** out) override {
    if (!out) return WBEM_E_INVALID_PARAMETER;
    *out = nullptr;
    SimWmiRecord().connectedNamespace = resource ? resource : L"";
    FirmwareSim sim;
    if (!sim.Open()) return WBEM_E_FAILED;
    FirmwareSimBlock b = sim.Snapshot();
    if (b.connectDelayMs) Sleep(b.connectDelayMs);
    if (b.flags & kSimFailConnect) return WBEM_E_FAILED;
    if (!resource || _wcsicmp(resource, L"\\\\.\\root\\wmi") != 0) return WBEM_E_INVALID_NAMESPACE;
    *out = new (std::nothrow) SimServices();
    return *out ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
  }
};

class SimLocatorFactory : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto locator = Adopt(new (std::nothrow) SimLocator());
    return locator ? locator->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

SimLocatorFactory g_factory;

}  // namespace

SimWmiCalls& SimWmiRecord() {
  static SimWmiCalls calls;
  return calls;
}

HRESULT RegisterSimWbemLocator(DWORD* cookie) {
  return CoRegisterClassObject(CLSID_QelSimWbemLocator, &g_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, cookie);
}

HRESULT CreateSimEventObject(int32_t eventId, int32_t eventData, IWbemClassObject** out) {
  if (!out) return E_POINTER;
  auto* event = new (std::nothrow) SimObject(Kind::Event, L"vxrBEvnt");
  if (!event) return E_OUTOFMEMORY;
  event->SetI4(L"EventID", eventId);
  event->SetI4(L"EventData", eventData);
  *out = event;
  return S_OK;
}
