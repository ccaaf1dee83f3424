// The process-wide list of live VXWMI objects that receive power changes: ten slots.
#pragma once
#include <cstdint>

// An object address as the log prints it with "0x%04x".
inline unsigned LogAddress(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

class CVXWMI;

class CCnxMgr {
 public:
  static constexpr int kSlots = 10;
  static CCnxMgr* GetInstance();
  static void ReleaseInstance();

  int32_t AddCnx(CVXWMI* object);
  int32_t DelCnx(CVXWMI* object);
  int32_t Count() const { return m_count; }
  CVXWMI* At(int index) const { return m_items[index]; }

 private:
  int32_t m_count = 0;
  CVXWMI* m_items[kSlots] = {};
};

extern CCnxMgr* g_pCnxMgr;
