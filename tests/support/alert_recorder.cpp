#include "support/alert_recorder.h"

namespace zk_test {

AlertRecorder::AlertRecorder() {
  messages().clear();
  ZKCoreAlertApi api = ZKCoreAlertGetApi();
  api.registerEventSource = [](LPCWSTR, LPCWSTR) -> HANDLE { return reinterpret_cast<HANDLE>(0x1234); };
  api.reportEvent = [](HANDLE, WORD, WORD, DWORD, PSID, WORD count, DWORD, LPCWSTR* strings, LPVOID) -> BOOL {
    if (count == 2) messages().push_back(std::wstring(strings[0]) + L"|" + strings[1]);
    return TRUE;
  };
  api.deregisterEventSource = [](HANDLE) -> BOOL { return TRUE; };
  m_previousApi = ZKCoreAlertSetApiForTesting(api);
  m_previousMode = ZKCoreAlertSetDefaultModeForTesting(ZKALERT_EVENT_LOG);
}

AlertRecorder::~AlertRecorder() {
  ZKCoreAlertSetDefaultModeForTesting(m_previousMode);
  ZKCoreAlertSetApiForTesting(m_previousApi);
}

std::vector<std::wstring>& AlertRecorder::messages() {
  static std::vector<std::wstring> list;
  return list;
}

}  // namespace zk_test
