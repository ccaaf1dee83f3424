#include "CnxMgr.h"

#include <new>

#include "FunctionTrace.h"
#include "devurezazeve.h"

CCnxMgr* g_pCnxMgr = nullptr;

CCnxMgr* CCnxMgr::GetInstance() {
  if (!g_pCnxMgr) g_pCnxMgr = new (std::nothrow) CCnxMgr();
  return g_pCnxMgr;
}

void CCnxMgr::ReleaseInstance() {
  delete g_pCnxMgr;
  g_pCnxMgr = nullptr;
}

int32_t CCnxMgr::AddCnx(CVXWMI* object) {
  FUNCTION_TRACE("CCnxMgr::AddCnx");
  for (int32_t i = 0; i < kSlots; ++i) {
    if (m_items[i]) continue;
    m_items[i] = object;
    ++m_count;
    TBDPrint(TBCT_INFO, TBDLT_INFO, "Adding - 0x%04x - %i", LogAddress(object), i);
    TBDPrint(TBCT_INFO, TBDLT_INFO, "Total Cnx: %i", m_count);
    return i;
  }
  TBDPrint(TBCT_INFO, TBDLT_ERROR, "Could not add item: 0x%04x", LogAddress(object));
  return -1;
}

int32_t CCnxMgr::DelCnx(CVXWMI* object) {
  FUNCTION_TRACE("CCnxMgr::DelCnx");
  for (int32_t i = 0; object && i < kSlots; ++i) {
    if (m_items[i] != object) continue;
    m_items[i] = nullptr;
    --m_count;
    TBDPrint(TBCT_INFO, TBDLT_INFO, "Deleting - 0x%04x - %i", LogAddress(object), i);
    TBDPrint(TBCT_INFO, TBDLT_INFO, "Total Cnx: %i", m_count);
    return i;
  }
  TBDPrint(TBCT_INFO, TBDLT_ERROR, "Could not find item: 0x%04x", LogAddress(object));
  return -1;
}
