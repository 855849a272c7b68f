#include "shared/moduleproc.h"

#include "components/tables.h"
#include "components/utf8.h"
#include "shared/modulevar.h"

namespace varnolde::ModuleProc {

void OpenTables() {
  using namespace Modulevar;
  Ref<DbFile>* handles[] = {&TabAssociation, &TabPeriodesPaie, &TabContrat, &TabCivilAidant,
                            &TabAcompteBull, &TabCivilAide, &TabDetailCalcul};
  for (size_t i = 0; i < tables::kPanelTables.size(); ++i) {
    *handles[i] = theDataBase->OpenFile(tables::kPanelTables[i]);
  }
}

void CloseTables() {
  using namespace Modulevar;
  for (Ref<DbRecord>* buffer : {&RecAssociation, &RecCivilAidant, &RecContrat, &RecPeriodesPaie,
                                &RecCivilAide, &RecAcompteBull, &RecDetailCalcul}) {
    buffer->Release();
  }
  for (Ref<DbFile>* handle : {&TabAssociation, &TabCivilAidant, &TabContrat, &TabPeriodesPaie,
                              &TabCivilAide, &TabAcompteBull, &TabDetailCalcul}) {
    handle->Release();
  }
  theDataBase.Release();
}

std::string PadField(std::string_view text, int width, std::string_view fill, int leftAlign) {
  const size_t n = utf8::Length(text);
  const size_t w = width < 0 ? 0 : static_cast<size_t>(width);
  if (n > w) return std::string(utf8::Left(text, w));
  std::string padding;
  const std::string_view pad = utf8::Left(fill, 1);
  for (size_t i = n; i < w; ++i) padding += pad;
  return leftAlign == -1 ? std::string(text) + padding : padding + std::string(text);
}

void PositionList(Toolkit& toolkit, ControlId bar, ControlId list, int visibleRows) {
  toolkit.SetScrollMax(bar, toolkit.ListCount(list) - 1);
  toolkit.SetScrollUsable(bar, toolkit.ListCount(list) > visibleRows);
  toolkit.SetScrollValue(bar, 0);
}

}  // namespace varnolde::ModuleProc
