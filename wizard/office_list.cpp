// The office list of WIZ_PMSELECT, filled from the register records found.
#include "office_list.h"

#include "app.h"
#include "resource.h"

namespace {

// Records taken out of the list as duplicates. Never freed: a page handler
// may still hold one across its boxes.
InstallRecordList g_removedRecords;

}  // namespace

void FillPmList(HWND list) {
  const LRESULT count = list ? SendMessageA(list, LB_GETCOUNT, 0, 0) : 0;
  for (LRESULT i = 0; i < count; ++i) SendMessageA(list, LB_DELETESTRING, 0, 0);

  InstallRecordList& records = g_app->m_setting->sharedInfoRecords;
  for (size_t i = 0; i < records.size(); ++i) {
    for (size_t j = i + 1; j < records.size();) {
      if (records[j]->pm == records[i]->pm && records[j]->rootPath == records[i]->rootPath &&
          records[j]->anno == records[i]->anno) {
        g_removedRecords.push_back(std::move(records[j]));
        records.erase(records.begin() + j);
      } else {
        ++j;
      }
    }
  }
  if (!list) return;

  for (const auto& record : records) {
    std::string entry = record->type == 2 ? "Unita' Periferica " + record->pm + " installata in " +
                                                record->rootPath
                                          : "Ufficio Autorizzato " + record->pm + " - " +
                                                record->anno + " (" + record->rootPath + ")";
    if (entry.size() > 511) entry.resize(511);
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  SetFocus(list);
}

void RefreshOfficeList() {
  SortPmRecords(g_app->m_setting->sharedInfoRecords);
  FillPmList(g_app->m_hwndPage ? GetDlgItem(g_app->m_hwndPage, IDC_PM_LIST) : nullptr);
}
